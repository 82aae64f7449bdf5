// A sample package of the installer for the demo and the end-to-end tests: the remote
// objects (summary, configuration package, application package, runtime packages) laid
// out as the loopback service's seed folder, and an installer bundle whose Config folder
// names the package.
#pragma once

#include <string>

namespace zid_sample {

struct SamplePackage {
    std::string pkgName = "Tamberlyn";
    std::string pkgNo = "8001";
    std::string serDir = "mac8001";
    std::string fixVersion = "9.5.3";
    std::string quantVersion = "q2.1.0";
    std::string cfgStamp = "20261210093000";
    bool quant = false;               // the bundle carries "PkgQuant"
    size_t bigEntryBytes = 9u << 20;  // one entry larger than two download slices
};

// Writes <seed>/<bucketLabel>/<serDir>/... ; false on any failure (reason on stderr).
bool WriteRemoteObjects(const SamplePackage& pkg, const std::string& seed, const std::string& bucketLabel);
// Writes <bundle>/Contents/Resources/Config/{PkgName,PkgNo,SerDir}/<value>/ and PkgQuant, and
// copies the window's images into <bundle>/Contents/Resources.
bool WriteInstallerBundle(const SamplePackage& pkg, const std::string& bundle);
// The exact bytes of the big entry, for checking what was installed.
std::string BigEntryContent(size_t bytes);
// Zips `folder`'s contents (links kept) into `zip`.
bool ZipFolder(const std::string& folder, const std::string& zip);

}  // namespace zid_sample
