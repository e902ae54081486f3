// TLS: socket against socket with certificates made for the test, peer
// verification (on by default), manual trust, and the settings refused or
// accepted.
#include "SocketTestSupport.h"
#include "TlsTestCertificates.h"

namespace orv::test {
namespace {

TestCertificates certificates;

class TlsTest : public SocketTest {
protected:
    static void SetUpTestSuite() { makeAndTrustOnly(certificates); }
    static void TearDownTestSuite() { forgetAndRemove(certificates); }

    void SetUp() override
    {
        if (!certificates.ok)
            GTEST_SKIP() << "the openssl program could not make the test certificates";
        SocketTest::SetUp();
        clientDelegate = std::make_shared<RecordingDelegate>();
    }

    void TearDown() override
    {
        release(client);
        release(server);
        settle(clientDelegate);
        SocketTest::TearDown();
    }

    static TlsSettings serverSettings(const TlsIdentity& identity)
    {
        return {{kCFStreamSSLIsServer, true}, {kCFStreamSSLCertificates, identity}};
    }

    // A client socket connected to an accepted server socket (`sock` listens).
    void connectPair()
    {
        Error error;
        ASSERT_TRUE(sock->acceptOnInterface("localhost", 0, &error)) << error.description();
        client = GCDAsyncSocket::create(clientDelegate, delegateQueue);
        ASSERT_TRUE(client->connectToHost("localhost", sock->localPort(), 5.0, &error)) << error.description();
        auto accepted = delegate->waitFor(SocketEvent::Accept);
        ASSERT_TRUE(accepted);
        server = accepted->accepted;
        ASSERT_TRUE(clientDelegate->waitFor(SocketEvent::Connect));
    }

    void startPair(const TlsSettings& serverSide, const TlsSettings& clientSide)
    {
        connectPair();
        server->startTLS(serverSide);
        client->startTLS(clientSide);
    }

    std::optional<Error> clientDisconnectError()
    {
        auto e = clientDelegate->waitFor(SocketEvent::Disconnect);
        EXPECT_TRUE(e.has_value());
        return e ? e->error : std::nullopt;
    }

    std::shared_ptr<RecordingDelegate> clientDelegate;
    std::shared_ptr<GCDAsyncSocket> client;
    std::shared_ptr<GCDAsyncSocket> server;
};

TEST_F(TlsTest, ClientAndServerSecureTheStreamAfterTheClearPart)
{
    connectPair();
    // Queued before the switch: travels in the clear.
    client->writeData(bytesOf("hello"), 5, 1);
    server->readDataToLength(5, 5, 1);
    client->startTLS({{kCFStreamSSLPeerName, std::string("localhost")}});
    server->startTLS(serverSettings(certificates.server));
    // Queued after the switch: waits for the session.
    const Bytes big = patternBytes(300 * 1024, 9);
    client->writeData(std::make_shared<const Bytes>(big), 10, 2);
    server->readDataToLength(big.size(), 10, 2);
    server->writeData(bytesOf("secret reply"), 10, 3);
    client->readDataToLength(12, 10, 3);

    auto reply = clientDelegate->waitFor(SocketEvent::Read);
    ASSERT_TRUE(reply);
    EXPECT_EQ(textOf(reply->data), "secret reply");
    auto bulk = delegate->waitFor(SocketEvent::Read, 2);
    ASSERT_TRUE(bulk);
    EXPECT_TRUE(bulk->data == big);
    EXPECT_TRUE(client->isSecure());
    EXPECT_TRUE(server->isSecure());
    EXPECT_FALSE(client->usingCFStreamForTLS() || server->usingCFStreamForTLS());
    EXPECT_TRUE(client->usingSecureTransportForTLS() && server->usingSecureTransportForTLS());

    // The server's events: the clear read, then the handshake, then the secure read.
    std::vector<SocketEvent::Kind> kinds;
    for (const auto& e : delegate->events())
        if (e.kind == SocketEvent::Read || e.kind == SocketEvent::Secure)
            kinds.push_back(e.kind);
    EXPECT_EQ(kinds, (std::vector<SocketEvent::Kind>{SocketEvent::Read, SocketEvent::Secure, SocketEvent::Read}));
    EXPECT_EQ(textOf(delegate->eventsOf(SocketEvent::Read).front().data), "hello");
}

TEST_F(TlsTest, SecondStartIsDroppedAndTheSessionGoesOn)
{
    startPair(serverSettings(certificates.server), {{kCFStreamSSLPeerName, std::string("localhost")}});
    ASSERT_TRUE(clientDelegate->waitFor(SocketEvent::Secure));
    client->startTLS({{kCFStreamSSLPeerName, std::string("localhost")}});
    client->writeData(bytesOf("after"), 5, 1);
    server->readDataToLength(5, 5, 1);
    auto read = delegate->waitFor(SocketEvent::Read);
    ASSERT_TRUE(read);
    EXPECT_EQ(textOf(read->data), "after");
    EXPECT_EQ(clientDelegate->count(SocketEvent::Secure), 1u);
    EXPECT_EQ(clientDelegate->count(SocketEvent::Disconnect), 0u);
}

TEST_F(TlsTest, UnverifiedServersAreRefusedAndNeverSecure)
{
    struct Case {
        const char* name;
        const TlsIdentity* identity;
        std::optional<std::string> peerName;
        int32_t status;
    };
    const Case cases[] = {
        {"WrongName", &certificates.server, std::string("wrong.example"), kTLSStatusHostNameMismatch},
        {"UnknownIssuer", &certificates.selfSigned, std::string("localhost"), kTLSStatusCertChainInvalid},
        {"UnknownIssuerWithoutAName", &certificates.selfSigned, std::nullopt, kTLSStatusCertChainInvalid},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TearDown();
        SetUp();
        TlsSettings clientSide;
        if (c.peerName)
            clientSide[kCFStreamSSLPeerName] = *c.peerName;
        startPair(serverSettings(*c.identity), clientSide);
        auto error = clientDisconnectError();
        ASSERT_TRUE(error);
        EXPECT_EQ(error->domain, GCDAsyncSocketTLSErrorDomain);
        EXPECT_EQ(error->code, c.status);
        EXPECT_EQ(clientDelegate->count(SocketEvent::Secure), 0u);
        EXPECT_FALSE(client->isSecure());
    }
}

TEST_F(TlsTest, ManualTrustLetsTheDelegateDecide)
{
    struct Case {
        const char* name;
        const TlsIdentity* identity;
        std::optional<bool> answer;  // std::nullopt: the delegate does not implement the question
        std::optional<long> closeCode;
        std::string closeDomain;
    };
    const Case cases[] = {
        {"Yes", &certificates.selfSigned, true, std::nullopt, ""},
        {"No", &certificates.server, false, kTLSStatusPeerBadCert, GCDAsyncSocketTLSErrorDomain},
        {"NotImplemented", &certificates.server, std::nullopt, GCDAsyncSocketOtherError, GCDAsyncSocketErrorDomain},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TearDown();
        SetUp();
        clientDelegate->setTrustAnswer(c.answer);
        startPair(serverSettings(*c.identity), {{kCFStreamSSLPeerName, std::string("localhost")},
                                                {GCDAsyncSocketManuallyEvaluateTrust, true}});
        auto trust = clientDelegate->waitFor(SocketEvent::Trust);
        ASSERT_TRUE(trust);
        ASSERT_TRUE(trust->trust);
        EXPECT_FALSE(trust->trust->certificates().empty());
        EXPECT_EQ(trust->trust->peerName(), "localhost");
        if (c.closeCode) {
            auto error = clientDisconnectError();
            ASSERT_TRUE(error);
            EXPECT_EQ(error->domain, c.closeDomain);
            EXPECT_EQ(error->code, *c.closeCode);
            EXPECT_FALSE(client->isSecure());
        } else {
            ASSERT_TRUE(clientDelegate->waitFor(SocketEvent::Secure));
            EXPECT_TRUE(client->isSecure());
        }
    }
}

TEST_F(TlsTest, TrustEvaluationChecksChainAndName)
{
    connectPair();
    clientDelegate->setTrustAnswer(true);
    server->startTLS(serverSettings(certificates.server));
    client->startTLS({{kCFStreamSSLPeerName, std::string("localhost")}, {GCDAsyncSocketManuallyEvaluateTrust, true}});
    auto trust = clientDelegate->waitFor(SocketEvent::Trust);
    ASSERT_TRUE(trust);
    std::string reason;
    EXPECT_TRUE(trust->trust->evaluate(&reason)) << reason;
    GCDAsyncSocketTrust renamed(trust->trust->certificates(), "wrong.example");
    EXPECT_FALSE(renamed.evaluate(&reason));
    EXPECT_FALSE(reason.empty());
}

TEST_F(TlsTest, SettingsThatCannotBeHonouredCloseWithCode8)
{
    struct Case {
        const char* name;
        TlsSettings settings;
        std::string message;
    };
    const std::vector<Case> cases = {
        {"AllowsAnyRoot", {{kCFStreamSSLAllowsAnyRoot, true}}, "Security option unavailable - kCFStreamSSLAllowsAnyRoot"},
        {"ValidatesChainOff",
         {{kCFStreamSSLValidatesCertificateChain, false}},
         "Security option unavailable - kCFStreamSSLValidatesCertificateChain"},
        {"Level", {{kCFStreamSSLLevel, std::string("TLSv1")}}, "Security option unavailable - kCFStreamSSLLevel"},
        {"PeerNameNotText", {{kCFStreamSSLPeerName, int64_t(7)}}, "Invalid value for kCFStreamSSLPeerName."},
        {"CertificatesNotAnIdentity",
         {{kCFStreamSSLCertificates, std::string("pem?")}},
         "Invalid value for kCFStreamSSLCertificates."},
        {"BrokenIdentity",
         {{kCFStreamSSLIsServer, true}, {kCFStreamSSLCertificates, TlsIdentity{"not pem", "not pem"}}},
         "Error in SSLSetCertificate"},
        {"UnknownProtocolVersion", {{GCDAsyncSocketSSLProtocolVersionMin, int64_t(5)}}, "Error in SSLSetProtocolVersionMin"},
        {"FalseStartNotABool",
         {{GCDAsyncSocketSSLSessionOptionFalseStart, std::string("yes")}},
         "Invalid value for GCDAsyncSocketSSLSessionOptionFalseStart."},
        {"NoKnownCipherSuite", {{GCDAsyncSocketSSLCipherSuites, std::vector<int64_t>{0xFEFE}}}, "Error in SSLSetEnabledCiphers"},
        {"BrokenDiffieHellman",
         {{kCFStreamSSLIsServer, true}, {GCDAsyncSocketSSLDiffieHellmanParameters, bytesOf("junk")}},
         "Error in SSLSetDiffieHellmanParams"},
        {"ManualTrustOnAServer",
         {{kCFStreamSSLIsServer, true}, {GCDAsyncSocketManuallyEvaluateTrust, true}},
         "Manual trust validation is not supported for server sockets"},
        // Applied in order: the first problem found is the one reported.
        {"InvalidValueBeforeRefusedKey",
         {{kCFStreamSSLAllowsAnyRoot, true}, {kCFStreamSSLPeerName, true}},
         "Invalid value for kCFStreamSSLPeerName."},
    };
    Listener listener;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        auto d = std::make_shared<RecordingDelegate>();
        auto s = GCDAsyncSocket::create(d, delegateQueue);
        ASSERT_TRUE(s->connectToAddress(address4(listener.port())));
        Peer peer = listener.accept();
        s->startTLS(c.settings);
        auto disconnected = d->waitFor(SocketEvent::Disconnect);
        ASSERT_TRUE(disconnected);
        ASSERT_TRUE(disconnected->error);
        EXPECT_EQ(disconnected->error->domain, GCDAsyncSocketErrorDomain);
        EXPECT_EQ(disconnected->error->code, GCDAsyncSocketOtherError);
        EXPECT_EQ(disconnected->error->message, c.message);
        release(s);
    }
}

TEST_F(TlsTest, SettingsThatAreHonouredOrIgnoredStillSecure)
{
    struct Case {
        const char* name;
        TlsSettings server;
        TlsSettings client;
    };
    const std::vector<Case> cases = {
        {"FalseStartAndOneByteRecordIgnored",
         {},
         {{GCDAsyncSocketSSLSessionOptionFalseStart, true}, {GCDAsyncSocketSSLSessionOptionSendOneByteRecord, true}}},
        {"ProtocolPinnedToTls12",
         {{GCDAsyncSocketSSLProtocolVersionMax, int64_t(kTLSProtocol12)}},
         {{GCDAsyncSocketSSLProtocolVersionMin, int64_t(kTLSProtocol12)},
          {GCDAsyncSocketSSLProtocolVersionMax, int64_t(kTLSProtocol12)}}},
        {"OneTls13Suite", {}, {{GCDAsyncSocketSSLCipherSuites, std::vector<int64_t>{0x1301}}}},
        {"OneTls12Suite",
         {{GCDAsyncSocketSSLProtocolVersionMax, int64_t(kTLSProtocol12)}},
         {{GCDAsyncSocketSSLCipherSuites, std::vector<int64_t>{0xC02B}}}},  // ECDHE-ECDSA-AES128-GCM-SHA256
        {"DiffieHellmanParameters", {{GCDAsyncSocketSSLDiffieHellmanParameters, certificates.dhParametersDer}}, {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TearDown();
        SetUp();
        TlsSettings serverSide = serverSettings(certificates.server);
        serverSide.insert(c.server.begin(), c.server.end());
        TlsSettings clientSide = c.client;
        clientSide[kCFStreamSSLPeerName] = std::string("localhost");
        startPair(serverSide, clientSide);
        auto secured = [](RecordingDelegate& d) {
            auto e = d.waitFor(SocketEvent::Secure);
            for (const auto& end : d.eventsOf(SocketEvent::Disconnect))
                ADD_FAILURE() << (end.error ? end.error->description() : std::string("closed"));
            return e.has_value();
        };
        EXPECT_TRUE(secured(*clientDelegate));
        EXPECT_TRUE(secured(*delegate));
    }
}

TEST_F(TlsTest, SessionWithTheSamePeerIdIsResumed)
{
    const TlsSettings clientSide = {{kCFStreamSSLPeerName, std::string("localhost")},
                                    {GCDAsyncSocketManuallyEvaluateTrust, true},
                                    {GCDAsyncSocketSSLPeerID, bytesOf("resume-test")}};
    clientDelegate->setTrustAnswer(true);
    startPair(serverSettings(certificates.server), clientSide);
    ASSERT_TRUE(clientDelegate->waitFor(SocketEvent::Secure));
    // A round trip lets the client take in the server's session tickets.
    server->writeData(bytesOf("x"), 5, 1);
    client->readDataToLength(1, 5, 1);
    ASSERT_TRUE(clientDelegate->waitFor(SocketEvent::Read));
    client->disconnect();
    server->disconnect();

    auto second = GCDAsyncSocket::create(clientDelegate, delegateQueue);
    extraSockets.push_back(second);
    ASSERT_TRUE(second->connectToHost("localhost", sock->localPort(), 5.0));
    auto accepted = delegate->waitFor(SocketEvent::Accept, 2);
    ASSERT_TRUE(accepted);
    extraSockets.push_back(accepted->accepted);
    accepted->accepted->startTLS(serverSettings(certificates.server));
    second->startTLS(clientSide);
    ASSERT_TRUE(clientDelegate->waitFor(SocketEvent::Secure, 2));
    // The resumed session did not need the server's certificates judged again.
    EXPECT_EQ(clientDelegate->count(SocketEvent::Trust), 1u);
}

TEST_F(TlsTest, ConnectionEndingDuringTheHandshakeIsATlsAbort)
{
    Listener listener;
    ASSERT_TRUE(sock->connectToAddress(address4(listener.port())));
    Peer peer = listener.accept();
    ASSERT_TRUE(delegate->waitFor(SocketEvent::Connect));
    sock->startTLS({{kCFStreamSSLPeerName, std::string("localhost")}});
    EXPECT_FALSE(peer.receive(5).empty());  // the client's hello
    peer.close();
    auto disconnected = delegate->waitFor(SocketEvent::Disconnect);
    ASSERT_TRUE(disconnected);
    ASSERT_TRUE(disconnected->error);
    EXPECT_EQ(disconnected->error->domain, GCDAsyncSocketTLSErrorDomain);
    EXPECT_EQ(disconnected->error->code, kTLSStatusClosedAbort);
    EXPECT_TRUE(disconnected->error->message.empty());
    EXPECT_FALSE(disconnected->error->recoverySuggestion.empty());
}

}  // namespace
}  // namespace orv::test
