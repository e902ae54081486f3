#pragma once
// Certificates made for a TLS test by the openssl program, in a private
// folder the test removes.

#include "core/sockets/GCDAsyncSocketTLSSettings.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace orv::test {

namespace fs = std::filesystem;

inline std::string readFile(const fs::path& path)
{
    std::ifstream in(path, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

// Certificates made with the openssl program into a private folder: a test
// root, a server certificate it signed for "localhost", and a self-signed one.
struct TestCertificates {
    fs::path folder;
    TlsIdentity server;
    TlsIdentity selfSigned;
    std::string rootPem;
    Bytes dhParametersDer;
    bool ok = false;

    void make()
    {
        char pattern[] = "/tmp/orvane-tls-XXXXXX";
        if (!::mkdtemp(pattern))
            return;
        folder = pattern;
        const std::string d = folder.string();
        const std::string ec = " -newkey ec -pkeyopt ec_paramgen_curve:prime256v1 -nodes";
        std::ofstream(folder / "server.ext") << "subjectAltName=DNS:localhost,IP:127.0.0.1\n"
                                                "basicConstraints=CA:FALSE\nextendedKeyUsage=serverAuth\n";
        const std::vector<std::string> commands = {
            "openssl req -x509" + ec + " -keyout " + d + "/root.key -out " + d +
                "/root.pem -subj /CN=OrvaneTestRoot -days 2 -addext basicConstraints=critical,CA:TRUE"
                " -addext keyUsage=critical,keyCertSign,cRLSign",
            "openssl req" + ec + " -keyout " + d + "/server.key -out " + d + "/server.csr -subj /CN=localhost",
            "openssl x509 -req -in " + d + "/server.csr -CA " + d + "/root.pem -CAkey " + d +
                "/root.key -CAcreateserial -out " + d + "/server.pem -days 2 -extfile " + d + "/server.ext",
            "openssl req -x509" + ec + " -keyout " + d + "/self.key -out " + d +
                "/self.pem -subj /CN=localhost -days 2 -addext subjectAltName=DNS:localhost",
            "openssl genpkey -genparam -algorithm DH -pkeyopt group:ffdhe2048 -out " + d + "/dh.pem",
            "openssl dhparam -in " + d + "/dh.pem -outform DER -out " + d + "/dh.der",
        };
        for (const auto& command : commands) {
            if (std::system((command + " >/dev/null 2>&1").c_str()) != 0)
                return;
        }
        server = {readFile(folder / "server.pem"), readFile(folder / "server.key")};
        selfSigned = {readFile(folder / "self.pem"), readFile(folder / "self.key")};
        rootPem = readFile(folder / "root.pem");
        const std::string dh = readFile(folder / "dh.der");
        dhParametersDer.assign(dh.begin(), dh.end());
        ok = !server.certificateChainPem.empty() && !rootPem.empty() && !dhParametersDer.empty();
    }

    void remove()
    {
        if (!folder.empty())
            fs::remove_all(folder);
    }
};

// A suite's set-up and tear-down: client sessions trust the system's roots,
// which here are only the test root.
inline void makeAndTrustOnly(TestCertificates& certificates)
{
    certificates.make();
    if (certificates.ok)
        ::setenv("SSL_CERT_FILE", (certificates.folder / "root.pem").c_str(), 1);
}

inline void forgetAndRemove(TestCertificates& certificates)
{
    ::unsetenv("SSL_CERT_FILE");
    certificates.remove();
}

}  // namespace orv::test
