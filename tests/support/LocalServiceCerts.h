// Test CA and server certificate for the loopback service's HTTPS mode, made with the openssl
// command line, and temporary folders for them.
#pragma once

#include <string>
#include <vector>

namespace zid_test {

struct TestCertificates {
    std::string folder;
    std::string caFile;     // CA certificate (PEM)
    std::string certFile;   // server certificate signed by the CA (PEM)
    std::string keyFile;    // server key (PEM)
    std::string otherCaFile;  // an unrelated CA: verification against it must fail
};

// Makes a CA and a server certificate for 127.0.0.1, localhost and `dnsNames` (wildcards
// like "*.zid.region.example" allowed) with the openssl command line. Throws on failure.
TestCertificates MakeTestCertificates(const std::string& folder,
                                      const std::vector<std::string>& dnsNames = {});

// A fresh temporary folder (removed by the caller, or left for the OS).
std::string MakeTempFolder(const std::string& prefix);

// Runs a shell command quietly; throws std::runtime_error when it fails.
void RunQuiet(const std::string& command);
// The text in single quotes for a shell.
std::string ShellQuote(const std::string& text);

}  // namespace zid_test
