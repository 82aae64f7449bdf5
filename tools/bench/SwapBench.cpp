// zid-bench-swap: the cost of flushing the installed bundle at the swap.
//   zid-bench-swap [--dir DIR] [--mib N] [--rounds N]
// Stages a bundle of N MiB (default 200) twice over: the sample package's application
// package unpacked as the installer does (one large entry), and the same size spread over
// many small files. Each round swaps it in with IClient::ReplaceInstalledBundle, once with
// the flush and once with the flush replaced by nothing, over an installed bundle of the
// same size; the staging writes are on the disk before each timed swap, and each installed
// bundle is compared with the staged one byte for byte, outside the timing. The ratio is
// the flushed swap's median over the unflushed one's. DIR (default the temporary folder)
// should lie on the disk the installer writes to.
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "IClient.h"
#include "MacUtil.h"
#include "SamplePackage.h"
#include "UiTheme.h"
#include "platform/Durability.h"
#include "platform/FileManager.h"
#include "platform/MainQueue.h"

namespace {

bool Fail(const std::string& what) {
    fprintf(stderr, "zid-bench-swap: %s\n", what.c_str());
    return false;
}

// The sample package's application package, unpacked into `contents`.
bool SampleLayout(const std::string& work, size_t bytes, const std::string& contents) {
    zid_sample::SamplePackage pkg;
    pkg.bigEntryBytes = bytes;
    const std::string seed = work + "/seed";
    if (!zid_sample::WriteRemoteObjects(pkg, seed, "bench")) return Fail("sample package");
    const std::string zip = seed + "/bench/" + pkg.serDir + "/fix/" + pkg.fixVersion + ".zip";
    const bool ok = MacUtil::UnzipFile(zip.c_str(), contents.c_str());
    zplat::RemoveItem(seed);
    return ok || Fail("unzip " + zip);
}

// Files of 100 KiB, 100 to a folder.
bool ManyFilesLayout(size_t bytes, const std::string& contents) {
    const size_t each = 100 * 1024;
    const std::string data = zid_sample::BigEntryContent(each);
    for (size_t i = 0; i * each < bytes; ++i) {
        const std::string folder = contents + "/Resources/set" + std::to_string(i / 100);
        if (i % 100 == 0 && !zplat::CreateDirectory(folder, true)) return Fail("mkdir " + folder);
        FILE* f = fopen((folder + "/item" + std::to_string(i) + ".bin").c_str(), "wb");
        if (!f || fwrite(data.data(), 1, data.size(), f) != data.size() || fclose(f) != 0) return Fail("write");
    }
    return true;
}

std::string FileBytes(const std::string& path) {
    std::string out;
    FILE* f = fopen(path.c_str(), "rb");
    if (!f) return "<missing>";
    char buf[65536];
    for (size_t n; (n = fread(buf, 1, sizeof buf, f)) > 0;) out.append(buf, n);
    fclose(f);
    return out;
}

// The installed bundle holds what the master holds, byte for byte, and nothing else.
bool SameTree(const std::string& master, const std::string& installed) {
    std::vector<zplat::TreeItem> want, got;
    if (!zplat::ListTree(master, &want) || !zplat::ListTree(installed, &got) || want.size() != got.size()) {
        return false;
    }
    for (size_t i = 0; i < want.size(); ++i) {
        if (want[i].rel != got[i].rel || (want[i].st.st_mode & S_IFMT) != (got[i].st.st_mode & S_IFMT)) return false;
        if (S_ISREG(want[i].st.st_mode) &&
            FileBytes(master + "/" + want[i].rel) != FileBytes(installed + "/" + want[i].rel)) {
            return false;
        }
    }
    return true;
}

double Median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v.empty() ? 0 : (v.size() % 2 ? v[v.size() / 2] : (v[v.size() / 2 - 1] + v[v.size() / 2]) / 2);
}

}  // namespace

int main(int argc, char** argv) {
    std::string dir = getenv("TMPDIR") ? getenv("TMPDIR") : "/tmp";
    size_t mib = 200;
    int rounds = 5;
    for (int i = 1; i < argc; ++i) {
        std::string a = argv[i];
        if (a == "--dir" && i + 1 < argc) dir = argv[++i];
        else if (a == "--mib" && i + 1 < argc) mib = std::strtoul(argv[++i], nullptr, 10);
        else if (a == "--rounds" && i + 1 < argc) rounds = std::atoi(argv[++i]);
        else {
            fprintf(stderr, "usage: %s [--dir DIR] [--mib N] [--rounds N]\n", argv[0]);
            return 2;
        }
    }
    std::string root = dir + "/zid-bench-swap-XXXXXX";
    if (!mkdtemp(&root[0])) {
        Fail("mkdtemp in " + dir);
        return 1;
    }
    // The engine's folders, all below the bench's own.
    setenv("HOME", (root + "/home").c_str(), 1);
    setenv("ZID_INSTALLER_BUNDLE", (root + "/Installer.app").c_str(), 1);
    setenv("ZID_INSTALLER_APPLICATIONS", (root + "/Applications").c_str(), 1);
    setenv("ZID_INSTALLER_ACCOUNT", (root + "/no-account.json").c_str(), 1);
    zplat::CreateDirectory(root + "/Installer.app/Contents/Resources/Config/PkgName/Tamberlyn", true);
    zplat::MainQueueBindThisThread();
    IClient engine;
    const std::string staged = UiTheme::Settings().m_szTempDir + "/" + UiTheme::Settings().m_szAppName;

    const std::string installed = UiTheme::Settings().m_szAppDir + "/" + UiTheme::Settings().m_szAppName;
    printf("%-8s %7s %6s %6s %12s %12s %8s\n", "layout", "files", "MiB", "rounds", "flush ms", "no flush ms", "ratio");
    int status = 0;
    for (const char* layout : {"sample", "many"}) {
        const std::string master = root + "/master-" + layout;
        const bool made = std::string(layout) == "sample" ? SampleLayout(root, mib << 20, master + "/Contents")
                                                          : ManyFilesLayout(mib << 20, master + "/Contents");
        if (!made) {
            status = 1;
            break;
        }
        size_t files = 0;
        std::vector<zplat::TreeItem> items;
        if (!zplat::ListTree(master, &items)) {
            Fail("listing " + master);
            return 1;
        }
        for (const zplat::TreeItem& item : items) files += S_ISREG(item.st.st_mode) ? 1 : 0;
        std::vector<double> with, without;
        // Round 0 installs the first bundle and is not counted.
        for (int round = 0; round <= rounds; ++round) {
            for (bool flush : {true, false}) {
                zplat::RemoveItem(staged);
                if (!MacUtil::CopyTree(master.c_str(), staged.c_str())) {
                    Fail("staging");
                    return 1;
                }
                sync();  // what staging wrote is not the swap's to write
                zplat::SetSyncHook(flush ? zplat::SyncHook() : [](const std::string&, int) { return 0; });
                const auto start = std::chrono::steady_clock::now();
                const bool ok = engine.ReplaceInstalledBundle();
                const double ms =
                    std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
                zplat::SetSyncHook(nullptr);
                zplat::MainQueueDrain();
                if (!ok || !SameTree(master, installed)) {
                    Fail(ok ? "the installed bundle differs from the staged one" : "swap");
                    return 1;
                }
                if (round > 0) (flush ? with : without).push_back(ms);
            }
        }
        const double peer = Median(without);
        printf("%-8s %7zu %6zu %6d %12.1f %12.1f %8.2f\n", layout, files, mib, rounds, Median(with), peer,
               peer > 0 ? Median(with) / peer : 0.0);
        zplat::RemoveItem(master);
    }
    zplat::RemoveItem(root);
    return status;
}
