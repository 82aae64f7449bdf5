#include "SamplePackage.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <random>

#include "ZipFacade.h"
#include "platform/FileManager.h"

namespace zid_sample {
namespace {

bool WriteText(const std::string& path, const std::string& text, mode_t mode = 0644) {
    if (!zplat::CreateDirectory(zplat::DeletingLastPathComponent(path), true)) return false;
    std::ofstream os(path, std::ios::binary | std::ios::trunc);
    os << text;
    os.close();
    return os.good() && chmod(path.c_str(), mode) == 0;
}

bool Fail(const std::string& what) {
    fprintf(stderr, "sample package: %s\n", what.c_str());
    return false;
}

// The window's background images, as the installer's own bundle carries them.
bool CopyWindowImages(const std::string& resources) {
    std::error_code ec;
    for (const auto& entry : std::filesystem::directory_iterator(ZID_INSTALLER_RESOURCES_DIR, ec)) {
        if (entry.path().extension() != ".png") continue;
        const std::string to = resources + "/" + entry.path().filename().string();
        if (zplat::ItemExists(to) && !zplat::RemoveItem(to)) return false;
        if (!zplat::CopyItem(entry.path().string(), to)) return Fail("copy " + entry.path().string());
    }
    return ec ? Fail("read " ZID_INSTALLER_RESOURCES_DIR ": " + ec.message()) : true;
}

}  // namespace

std::string BigEntryContent(size_t bytes) {
    std::string data(bytes, '\0');
    std::mt19937 gen(20261210);
    for (size_t i = 0; i < bytes; i += 4) {
        uint32_t v = gen();
        for (size_t k = 0; k < 4 && i + k < bytes; ++k) data[i + k] = static_cast<char>(v >> (8 * k));
    }
    return data;
}

bool ZipFolder(const std::string& folder, const std::string& zip) {
    return ZipFacade::CreateZipFileAtPathWithContentsOfDirectory(zip, folder, false, -1, "", false, nullptr, true);
}

bool WriteRemoteObjects(const SamplePackage& pkg, const std::string& seed, const std::string& bucketLabel) {
    const std::string remote = seed + "/" + bucketLabel + "/" + pkg.serDir;
    const std::string work = seed + "/.sample-work";
    zplat::RemoveItem(work);
    if (!zplat::CreateDirectory(remote + "/fix", true)) return Fail("cannot create " + remote);

    std::string summary = "[cfgstamp]\ntime=" + pkg.cfgStamp + "\n[fixstamp]\n" + pkg.pkgNo + "=" +
                          pkg.fixVersion + "\n[quant]\n" + pkg.pkgNo + "=" + pkg.quantVersion + "\n";
    if (!WriteText(remote + "/summary.ini", summary)) return Fail("summary.ini");

    // The application package unpacks into the bundle's Contents folder.
    const std::string fix = work + "/fix";
    bool ok = WriteText(fix + "/MacOS/" + pkg.pkgName,
                        "#!/bin/sh\necho \"" + pkg.pkgName + " " + pkg.fixVersion + " started\"\n", 0755) &&
              WriteText(fix + "/Info.plist", "CFBundleName=" + pkg.pkgName + "\nversion=" + pkg.fixVersion + "\n") &&
              WriteText(fix + "/Resources/data.bin", BigEntryContent(pkg.bigEntryBytes)) &&
              WriteText(fix + "/config/readme.txt", "from the application package\n") &&
              zplat::CreateDirectory(fix + "/Resources/empty", true) &&
              symlink(pkg.pkgName.c_str(), (fix + "/MacOS/run").c_str()) == 0;
    if (!ok || !ZipFolder(fix, remote + "/fix/" + pkg.fixVersion + ".zip")) return Fail("application package");

    // The configuration package wins over the application package where both have a file.
    const std::string cfg = work + "/config";
    ok = WriteText(cfg + "/config/readme.txt", "from the configuration package\n") &&
         WriteText(cfg + "/config/server.cfg", "server=127.0.0.1\n");
    if (!ok || !ZipFolder(cfg, remote + "/config.zip")) return Fail("configuration package");

    for (const char* flavour : {"quantM1", "quantIntel"}) {
        const std::string q = work + "/" + flavour;
        ok = WriteText(q + "/" + pkg.quantVersion + "/runtime.txt", std::string(flavour) + "\n") &&
             WriteText(q + "/" + pkg.quantVersion + "/bin/qrun", "#!/bin/sh\necho quant\n", 0755) &&
             zplat::CreateDirectory(remote + "/" + flavour, true);
        if (!ok || !ZipFolder(q, remote + "/" + flavour + "/" + pkg.quantVersion + ".zip")) {
            return Fail(std::string("runtime package ") + flavour);
        }
    }
    zplat::RemoveItem(work);
    return true;
}

bool WriteInstallerBundle(const SamplePackage& pkg, const std::string& bundle) {
    const std::string config = bundle + "/Contents/Resources/Config";
    bool ok = zplat::CreateDirectory(config + "/PkgName/" + pkg.pkgName, true) &&
              zplat::CreateDirectory(config + "/PkgNo/" + pkg.pkgNo, true) &&
              zplat::CreateDirectory(config + "/SerDir/" + pkg.serDir, true);
    if (ok && pkg.quant) ok = zplat::CreateDirectory(config + "/PkgQuant", true);
    if (ok && !pkg.quant && zplat::ItemExists(config + "/PkgQuant")) ok = zplat::RemoveItem(config + "/PkgQuant");
    ok = ok && CopyWindowImages(bundle + "/Contents/Resources");
    return ok ? true : Fail("installer bundle " + bundle);
}

}  // namespace zid_sample
