// zid-local-service: the loopback storage service as a process, for the demo.
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <iostream>
#include <string>
#include <thread>

#include "LocalService.h"

namespace {

void Usage() {
    std::cerr << "usage: zid-local-service [--port N] [--root DIR] [--seed DIR] [--verbose] [--no-signature-check]\n"
                 "                         [--page-size KEYS] [--domain-bucket NAME-APPID]\n"
                 "                         [--https --cert FILE --key FILE [--ca FILE]]\n"
                 "Serves 127.0.0.1:N (0: a free port) until SIGTERM/SIGINT, or until standard input\n"
                 "closes when it is a pipe or a terminal. Credentials: AKID / SK.\n";
}

}  // namespace

int main(int argc, char** argv) {
    zid_local::ServiceOptions options;
    std::string seed;
    for (int i = 1; i < argc; ++i) {
        std::string a = argv[i];
        auto next = [&](std::string* out) {
            if (i + 1 >= argc) return false;
            *out = argv[++i];
            return true;
        };
        std::string v;
        if (a == "--port" && next(&v)) {
            options.port = static_cast<uint16_t>(std::strtoul(v.c_str(), nullptr, 10));
        } else if (a == "--root" && next(&v)) {
            options.root = v;
        } else if (a == "--seed" && next(&v)) {
            seed = v;
        } else if (a == "--https") {
            options.https = true;
        } else if (a == "--cert" && next(&v)) {
            options.certFile = v;
        } else if (a == "--key" && next(&v)) {
            options.keyFile = v;
        } else if (a == "--ca" && next(&v)) {
            options.caFile = v;
        } else if (a == "--no-signature-check") {
            options.checkSignature = false;
        } else if (a == "--page-size" && next(&v)) {
            options.listPageSize = std::strtoull(v.c_str(), nullptr, 10);
        } else if (a == "--domain-bucket" && next(&v)) {
            options.domainBucket = v;
        } else if (a == "--verbose") {
            options.verbose = true;
        } else {
            Usage();
            return a == "--help" ? 0 : 2;
        }
    }
    if (options.https && (options.certFile.empty() || options.keyFile.empty())) {
        std::cerr << "--https needs --cert and --key\n";
        return 2;
    }

    // Signals are taken by sigwait below, not by whichever thread happens to run.
    sigset_t set;
    sigemptyset(&set);
    sigaddset(&set, SIGINT);
    sigaddset(&set, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &set, nullptr);

    zid_local::LocalService service(options);
    try {
        if (!seed.empty()) service.Seed(seed);
        service.Start();
    } catch (const std::exception& e) {
        std::cerr << e.what() << "\n";
        return 1;
    }
    std::cout << "listening on " << service.DestDomain() << std::endl;

    // A parent that holds our stdin as a pipe ends us by closing it; /dev/null means "no parent".
    struct stat st;
    if (fstat(0, &st) == 0 && (S_ISFIFO(st.st_mode) || isatty(0))) {
        std::thread([] {
            char buf[256];
            while (read(0, buf, sizeof buf) > 0) {
            }
            kill(getpid(), SIGTERM);
        }).detach();
    }
    int sig = 0;
    sigwait(&set, &sig);
    service.Stop();
    return 0;
}
