#include "LocalServiceCerts.h"

#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <stdexcept>

namespace zid_test {

void RunQuiet(const std::string& command) {
    std::string full = command + " >/dev/null 2>&1";
    if (std::system(full.c_str()) != 0) throw std::runtime_error("command failed: " + command);
}

std::string ShellQuote(const std::string& s) {
    std::string out = "'";
    for (char c : s) {
        if (c == '\'') out += "'\\''";
        else out += c;
    }
    return out + "'";
}

std::string MakeTempFolder(const std::string& prefix) {
    std::string base = "/tmp/" + prefix + "XXXXXX";
    std::vector<char> buf(base.begin(), base.end());
    buf.push_back('\0');
    if (!mkdtemp(buf.data())) throw std::runtime_error("mkdtemp failed for " + base);
    return buf.data();
}

TestCertificates MakeTestCertificates(const std::string& folder, const std::vector<std::string>& dnsNames) {
    TestCertificates c;
    c.folder = folder;
    c.caFile = folder + "/ca.pem";
    c.certFile = folder + "/server.pem";
    c.keyFile = folder + "/server.key";
    c.otherCaFile = folder + "/other-ca.pem";
    const std::string f = ShellQuote(folder);
    auto makeCa = [&](const std::string& name, const std::string& cn) {
        RunQuiet("openssl req -x509 -newkey rsa:2048 -nodes -sha256 -days 3 -subj " + ShellQuote("/CN=" + cn) +
            " -addext basicConstraints=critical,CA:TRUE -addext keyUsage=critical,keyCertSign,cRLSign" +
            " -keyout " + f + "/" + name + ".key -out " + f + "/" + name + ".pem");
    };
    makeCa("ca", "zid loopback test CA");
    makeCa("other-ca", "unrelated test CA");

    std::string san = "subjectAltName=IP:127.0.0.1,DNS:localhost";
    for (const auto& n : dnsNames) san += ",DNS:" + n;
    {
        std::ofstream ext(folder + "/server.ext");
        ext << san << "\nbasicConstraints=CA:FALSE\nkeyUsage=digitalSignature,keyEncipherment\n"
            << "extendedKeyUsage=serverAuth\n";
    }
    RunQuiet("openssl req -newkey rsa:2048 -nodes -sha256 -subj /CN=127.0.0.1 -keyout " + f + "/server.key -out " + f +
        "/server.csr");
    RunQuiet("openssl x509 -req -sha256 -days 3 -in " + f + "/server.csr -CA " + f + "/ca.pem -CAkey " + f +
        "/ca.key -CAcreateserial -extfile " + f + "/server.ext -out " + f + "/server.pem");
    return c;
}

}  // namespace zid_test
