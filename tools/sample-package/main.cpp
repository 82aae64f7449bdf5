// zid-sample-package: writes the sample package for the demo.
//   zid-sample-package --seed DIR --bucket LABEL [--bundle DIR] [--quant]
// The seed folder is what the loopback service loads (DIR/LABEL/<key>); the bundle is the
// installer bundle whose Config folder names the package.
#include <cstdio>
#include <cstring>
#include <string>

#include "SamplePackage.h"

int main(int argc, char** argv) {
    std::string seed, bucket, bundle;
    zid_sample::SamplePackage pkg;
    for (int i = 1; i < argc; ++i) {
        std::string a = argv[i];
        if (a == "--seed" && i + 1 < argc) seed = argv[++i];
        else if (a == "--bucket" && i + 1 < argc) bucket = argv[++i];
        else if (a == "--bundle" && i + 1 < argc) bundle = argv[++i];
        else if (a == "--quant") pkg.quant = true;
        else {
            fprintf(stderr, "usage: %s --seed DIR --bucket LABEL [--bundle DIR] [--quant]\n", argv[0]);
            return 2;
        }
    }
    if (seed.empty() || bucket.empty()) {
        fprintf(stderr, "usage: %s --seed DIR --bucket LABEL [--bundle DIR] [--quant]\n", argv[0]);
        return 2;
    }
    if (!zid_sample::WriteRemoteObjects(pkg, seed, bucket)) return 1;
    printf("remote objects under %s/%s/%s: summary.ini, config.zip, fix/%s.zip, quantM1/%s.zip, quantIntel/%s.zip\n",
           seed.c_str(), bucket.c_str(), pkg.serDir.c_str(), pkg.fixVersion.c_str(), pkg.quantVersion.c_str(),
           pkg.quantVersion.c_str());
    if (!bundle.empty()) {
        if (!zid_sample::WriteInstallerBundle(pkg, bundle)) return 1;
        printf("installer bundle %s: package %s (%s), server folder %s%s\n", bundle.c_str(), pkg.pkgName.c_str(),
               pkg.pkgNo.c_str(), pkg.serDir.c_str(), pkg.quant ? ", quantitative option" : "");
    }
    return 0;
}
