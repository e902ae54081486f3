// TLS on the run-loop TCP socket: the marker waits for earlier requests on
// both sides, the client verifies the server unless its settings turn that
// off, refused settings close the socket, and data flows both ways once
// secured (also with the queue-driven socket as the server).
#include "AsyncSocketTestSupport.h"
#include "TlsTestCertificates.h"

namespace orv::test {
namespace {

using E = LoopSocketEvent;

TestCertificates certificates;

class AsyncSocketTlsTest : public AsyncSocketTest {
protected:
    static void SetUpTestSuite() { makeAndTrustOnly(certificates); }
    static void TearDownTestSuite() { forgetAndRemove(certificates); }
    void SetUp() override
    {
        if (!certificates.ok)
            GTEST_SKIP() << "the openssl program could not make the test certificates";
        AsyncSocketTest::SetUp();
    }

    static TlsSettings serverSettings(const TlsIdentity& identity)
    {
        return {{kCFStreamSSLIsServer, true}, {kCFStreamSSLCertificates, identity}};
    }

    // Secures a fresh pair; true when both sides reported it, false when the
    // client closed instead.
    bool secure(const TlsIdentity& identity, const TlsSettings& clientSettings, const std::string& host = "localhost")
    {
        connectPair(host);
        server->startTLS(serverSettings(identity));
        client->startTLS(clientSettings);
        runUntil([&] {
            return clientDelegate->count(E::Disconnect) > 0 ||
                   (clientDelegate->count(E::Secure) > 0 && serverDelegate->count(E::Secure) > 0);
        });
        return clientDelegate->count(E::Secure) == 1 && clientDelegate->count(E::Disconnect) == 0;
    }
};

TEST_F(AsyncSocketTlsTest, VerificationOnUnlessSettingsTurnItOff)
{
    const struct {
        const char* name;
        bool selfSigned;
        TlsSettings settings;
        bool secured;
    } cases[] = {
        {"trusted root, host name", false, {}, true},
        {"trusted root, wrong name", false, {{kCFStreamSSLPeerName, std::string("wrong.example")}}, false},
        {"wrong name, chain validation off",
         false,
         {{kCFStreamSSLPeerName, std::string("wrong.example")}, {kCFStreamSSLValidatesCertificateChain, false}},
         true},
        {"unknown root", true, {}, false},
        {"unknown root allowed", true, {{kCFStreamSSLAllowsAnyRoot, true}}, true},
        {"unknown root allowed, wrong name",
         true,
         {{kCFStreamSSLAllowsAnyRoot, true}, {kCFStreamSSLPeerName, std::string("wrong.example")}},
         false},
        {"chain validation explicitly on", true, {{kCFStreamSSLValidatesCertificateChain, true}}, false},
        {"TLS level", false, {{kCFStreamSSLLevel, std::string(kStreamSocketSecurityLevelTLSv1)}}, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const bool secured = secure(c.selfSigned ? certificates.selfSigned : certificates.server, c.settings);
        EXPECT_EQ(secured, c.secured);
        if (!c.secured) {
            const auto will = clientDelegate->of(E::WillDisconnect);
            ASSERT_EQ(will.size(), 1u);
            ASSERT_TRUE(will[0].error);
            EXPECT_EQ(will[0].error->domain, "kCFStreamErrorDomainSSL");
        }
        TearDown();
        SetUp();
    }
}

TEST_F(AsyncSocketTlsTest, RefusedSettingsCloseWithSocketError)
{
    const TlsSettings refused[] = {
        {{kCFStreamSSLLevel, std::string(kStreamSocketSecurityLevelNone)}},
        {{kCFStreamSSLAllowsAnyRoot, std::string("yes")}},
    };
    for (const auto& settings : refused) {
        EXPECT_FALSE(secure(certificates.server, settings));
        const auto will = clientDelegate->of(E::WillDisconnect);
        ASSERT_EQ(will.size(), 1u);
        EXPECT_EQ(will[0].error->domain, AsyncSocketErrorDomain);
        EXPECT_EQ(will[0].error->code, AsyncSocketCFSocketError);
        TearDown();
        SetUp();
    }
}

TEST_F(AsyncSocketTlsTest, RequestsAroundTheMarkerKeepTheirOrder)
{
    connectPair("localhost");
    // Queued before the marker: served in the clear. After: over TLS.
    server->readDataToData(AsyncSocket::LFData(), -1, 1);
    server->startTLS(serverSettings(certificates.server));
    server->readDataToLength(100000, -1, 2);
    client->writeData(bytesOf("plain\n"), -1, 1);
    client->startTLS();
    const Bytes secret = patternBytes(100000);
    client->writeData(secret, -1, 2);
    client->readDataToData(bytesOf("!"), -1, 3);
    EXPECT_TRUE(std::isnan(client->progressOfWriteReturningTag(nullptr, nullptr, nullptr)) ||
                clientDelegate->count(E::Write) == 0);
    ASSERT_TRUE(runUntil(*serverDelegate, E::Read, 2));
    auto reads = serverDelegate->of(E::Read);
    EXPECT_EQ(textOf(reads[0].data), "plain\n");
    EXPECT_TRUE(reads[1].data == secret);
    EXPECT_EQ(serverDelegate->count(E::Secure), 1u);
    // Secured before the later write was reported.
    const auto& events = clientDelegate->events;
    auto securedAt = std::find_if(events.begin(), events.end(), [](const E& e) { return e.kind == E::Secure; });
    auto wroteAt = std::find_if(events.begin(), events.end(), [](const E& e) { return e.kind == E::Write && e.tag == 2; });
    ASSERT_NE(securedAt, events.end());
    EXPECT_LT(securedAt, wroteAt);

    server->writeData(bytesOf("back over tls!"), -1, 9);
    ASSERT_TRUE(runUntil(*clientDelegate, E::Read));
    EXPECT_EQ(textOf(clientDelegate->of(E::Read)[0].data), "back over tls!");
}

TEST_F(AsyncSocketTlsTest, SecuresAgainstTheQueueDrivenSocket)
{
    auto gcdDelegate = std::make_shared<RecordingDelegate>();
    auto queue = dispatch::Queue::makeSerial("AsyncSocketTlsTest.delegate");
    auto gcdListener = GCDAsyncSocket::create(gcdDelegate, queue);
    Error error;
    ASSERT_TRUE(gcdListener->acceptOnInterface("localhost", 0, &error)) << error.description();
    client = AsyncSocket::create(clientDelegate);
    ASSERT_TRUE(client->connectToHost("localhost", gcdListener->localPort(), 5.0, &error));
    ASSERT_TRUE(runUntil(*clientDelegate, E::Connect));
    auto accepted = gcdDelegate->waitFor(SocketEvent::Accept);
    ASSERT_TRUE(accepted);
    auto gcdServer = accepted->accepted;
    gcdServer->startTLS(serverSettings(certificates.server));
    gcdServer->readDataToLength(5, -1, 1);
    client->startTLS();
    client->writeData(bytesOf("hello"), -1, 1);
    ASSERT_TRUE(runUntil([&] { return gcdDelegate->count(SocketEvent::Read) == 1; }));
    EXPECT_EQ(textOf(gcdDelegate->eventsOf(SocketEvent::Read)[0].data), "hello");
    EXPECT_EQ(clientDelegate->count(E::Secure), 1u);

    client->disconnect();
    std::vector<std::weak_ptr<GCDAsyncSocket>> gone{gcdServer, gcdListener};
    gcdServer->disconnect();
    gcdListener->disconnect();
    gcdServer.reset();
    accepted.reset();
    gcdListener.reset();
    letGo(std::move(gone), *gcdDelegate, queue);
}

}  // namespace
}  // namespace orv::test
