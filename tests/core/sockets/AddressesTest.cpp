// Socket-address conversions, interface descriptions, host lookup without
// the resolver, and the texts of the socket's errors.
#include "SocketTestSupport.h"

namespace orv::test {
namespace {

TEST(AddressesTest, ConversionsReadTheSystemRecords)
{
    struct Case {
        const char* name;
        Bytes address;
        bool isIPv4;
        bool isIPv6;
        std::optional<std::string> host;
        uint16_t port;
    };
    Bytes ipv6FamilyIn16Bytes = address4(80);
    {
        sockaddr_storage s{};
        std::memcpy(&s, ipv6FamilyIn16Bytes.data(), ipv6FamilyIn16Bytes.size());
        s.ss_family = AF_INET6;
        std::memcpy(ipv6FamilyIn16Bytes.data(), &s, ipv6FamilyIn16Bytes.size());
    }
    const Case cases[] = {
        {"IPv4", address4(8080, "192.0.2.7"), true, false, "192.0.2.7", 8080},
        {"IPv6", address6(443, "fd00::2"), false, true, "fd00::2", 443},
        {"TooShort", Bytes(10, 0), false, false, std::nullopt, 0},
        // Counts as IPv6 data, but is too short to read a host from.
        {"IPv6FamilyIn16Bytes", ipv6FamilyIn16Bytes, false, true, std::nullopt, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(GCDAsyncSocket::isIPv4Address(c.address), c.isIPv4);
        EXPECT_EQ(GCDAsyncSocket::isIPv6Address(c.address), c.isIPv6);
        EXPECT_EQ(GCDAsyncSocket::hostFromAddress(c.address), c.host);
        EXPECT_EQ(GCDAsyncSocket::portFromAddress(c.address), c.port);
        int family = -1;
        EXPECT_EQ(GCDAsyncSocket::getHost(nullptr, nullptr, &family, c.address), c.host.has_value());
        if (c.host) {
            EXPECT_EQ(family, c.isIPv4 ? AF_INET : AF_INET6);
        }
    }
}

TEST(AddressesTest, InterfaceDescriptionsResolveToLocalAddresses)
{
    struct Case {
        const char* description;
        uint16_t port;
        std::optional<std::string> host4;  // std::nullopt: no IPv4 address expected
        std::optional<std::string> host6;  // "?": whatever the machine has, if anything
        uint16_t expectedPort;
    };
    const Case cases[] = {
        {"", 9, "0.0.0.0", "::", 9},
        {"localhost", 9, "127.0.0.1", "::1", 9},
        {"loopback", 0, "127.0.0.1", "::1", 0},
        {"lo", 0, "127.0.0.1", "?", 0},
        {"127.0.0.1", 0, "127.0.0.1", std::nullopt, 0},
        {"127.0.0.1:8080", 0, "127.0.0.1", std::nullopt, 8080},
        {"lo:70000", 0, "127.0.0.1", "?", 0},         // out of range: the system chooses
        {"127.0.0.1:8080", 99, "127.0.0.1", std::nullopt, 99},  // an explicit port wins
        {"nosuchif0", 0, std::nullopt, std::nullopt, 0},
        // IPv6 addresses carry colons of their own: never a port part, and
        // never read as "no interface" (every interface).
        {"::1", 0, std::nullopt, "::1", 0},
        {"::1", 9, std::nullopt, "::1", 9},
        {"0:0:0:0:0:0:0:1", 0, std::nullopt, "::1", 0},
        {"[::1]:8080", 0, std::nullopt, "::1", 8080},
        {"[::1]", 0, std::nullopt, "::1", 0},
        {"[::1]:8080", 99, std::nullopt, "::1", 99},
        {"2001:db8::77", 0, std::nullopt, std::nullopt, 0},  // no interface has it
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.description);
        std::optional<Bytes> a4, a6;
        GCDAsyncSocket::getInterfaceAddress4(&a4, &a6, c.description, c.port);
        ASSERT_EQ(a4.has_value(), c.host4.has_value());
        if (a4) {
            EXPECT_EQ(GCDAsyncSocket::hostFromAddress(*a4), c.host4);
            EXPECT_EQ(GCDAsyncSocket::portFromAddress(*a4), c.expectedPort);
            EXPECT_EQ(a4->size(), sizeof(sockaddr_in));
        }
        if (c.host6 && *c.host6 != "?") {
            ASSERT_TRUE(a6);
            EXPECT_EQ(GCDAsyncSocket::hostFromAddress(*a6), c.host6);
        } else if (!c.host6) {
            EXPECT_FALSE(a6);
        }
        if (a6) {
            EXPECT_EQ(GCDAsyncSocket::portFromAddress(*a6), c.expectedPort);
            EXPECT_EQ(a6->size(), sizeof(sockaddr_in6));
        }
    }
}

TEST(AddressesTest, LocalhostAndLoopbackNeedNoResolver)
{
    for (const char* host : {"localhost", "loopback"}) {
        SCOPED_TRACE(host);
        Error error;
        auto addresses = GCDAsyncSocket::lookupHost(host, 7, &error);
        ASSERT_TRUE(addresses);
        ASSERT_EQ(addresses->size(), 2u);
        EXPECT_EQ(GCDAsyncSocket::hostFromAddress((*addresses)[0]), "127.0.0.1");
        EXPECT_EQ(GCDAsyncSocket::hostFromAddress((*addresses)[1]), "::1");
        EXPECT_EQ(GCDAsyncSocket::portFromAddress((*addresses)[1]), 7);
    }
    Error error;
    auto numeric = GCDAsyncSocket::lookupHost("192.0.2.1", 5, &error);
    ASSERT_TRUE(numeric);
    ASSERT_EQ(numeric->size(), 1u);
    EXPECT_TRUE(GCDAsyncSocket::isIPv4Address(numeric->front()));
}

TEST(AddressesTest, IdleSocketHasNoPeer)
{
    auto delegate = std::make_shared<RecordingDelegate>();
    auto sock = GCDAsyncSocket::create(delegate, dispatch::Queue::makeSerial("test.delegate"));
    EXPECT_FALSE(sock->connectedHost());
    EXPECT_EQ(sock->connectedPort(), 0);
    EXPECT_FALSE(sock->localHost());
    EXPECT_FALSE(sock->connectedAddress());
    EXPECT_FALSE(sock->isIPv4());
    EXPECT_FALSE(sock->isIPv6());
}

TEST(ErrorTextsTest, FixedTextsComeFromTheLookupWithEnglishFallbacks)
{
    EXPECT_EQ(GCDAsyncSocket::connectTimeoutError().message, "Attempt to connect to host timed out");
    EXPECT_EQ(GCDAsyncSocket::readMaxedOutError().code, GCDAsyncSocketReadMaxedOutError);

    GCDAsyncSocket::setTextLookup([](const std::string& key, const std::string& english) {
        return key == "GCDAsyncSocketReadTimeoutError" ? std::string("Lecture expirée") : english;
    });
    EXPECT_EQ(GCDAsyncSocket::readTimeoutError().message, "Lecture expirée");
    EXPECT_EQ(GCDAsyncSocket::writeTimeoutError().message, "Write operation timed out");

    // A lookup that knows nothing (answers empty) falls back to English too.
    GCDAsyncSocket::setTextLookup([](const std::string&, const std::string&) { return std::string(); });
    EXPECT_EQ(GCDAsyncSocket::connectionClosedError().message, "Socket closed by remote peer");
    GCDAsyncSocket::setTextLookup(nullptr);
    EXPECT_EQ(GCDAsyncSocket::readTimeoutError().message, "Read operation timed out");

    const Error tls = GCDAsyncSocket::sslError(kTLSStatusClosedAbort);
    EXPECT_EQ(tls.domain, "kCFStreamErrorDomainSSL");
    EXPECT_TRUE(tls.message.empty());
    EXPECT_FALSE(tls.recoverySuggestion.empty());
}

}  // namespace
}  // namespace orv::test
