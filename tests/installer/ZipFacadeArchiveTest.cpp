// Archives whose structure other readers would take differently, written record by record:
// entries sharing data, central directories that do not match their end records, end
// records that disagree, and data that cannot be read to its declared end.
#include <gtest/gtest.h>
#include <zlib.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "ZipFacade.h"
#include "ZipFacadeCentral.h"
#include "platform/FileManager.h"
#include "support/LocalServiceFixture.h"
#include "support/ZipFixture.h"

using zid_test::ReadBytes;
using zid_test::WriteBytes;
using zid_test::detail::Put;

namespace {

constexpr uint64_t kMax32 = 0xFFFFFFFF;

// Local headers and their data, then central headers and the end record, each field set
// by the test.
class RawZip {
public:
    struct Body {
        uint64_t at;  // local header
        uint32_t crc;
        uint64_t packed, size;
        int method;
    };

    // A local header and its data (raw deflate when `deflate`); `declared` overrides both
    // sizes in the headers, for data that ends before them.
    Body Local(const std::string& name, const std::string& data, bool deflate = false, uint64_t declared = 0) {
        const std::string stored = deflate ? Deflate(data) : data;
        return Stored(name, stored, deflate ? Z_DEFLATED : 0, Crc(data), declared ? declared : stored.size(),
                      declared ? declared : data.size());
    }

    // A local header and `stored` as the entry's data, whatever the headers say of it.
    Body Stored(const std::string& name, const std::string& stored, int method, uint32_t crc, uint64_t packed,
                uint64_t size) {
        Body b{bytes.size(), crc, packed, size, method};
        Put(&bytes, {{0x04034b50, 4}, {20, 2}, {0x800, 2}, {b.method, 2}, {0, 2}, {0x5021, 2}, {b.crc, 4},
                     {b.packed, 4}, {b.size, 4}, {name.size(), 2}, {0, 2}});
        bytes += name + stored;
        return b;
    }

    static uint32_t Crc(const std::string& data) {
        return static_cast<uint32_t>(
            crc32(0L, reinterpret_cast<const Bytef*>(data.data()), static_cast<uInt>(data.size())));
    }

    // A central header, made on Unix with `mode`, for the data of `b`.
    void Central(const std::string& name, const Body& b, uint32_t mode = 0100644, const std::string& extra = "") {
        Put(&central, {{0x02014b50, 4}, {0x031E, 2}, {20, 2}, {0x800, 2}, {b.method, 2}, {0, 2}, {0x5021, 2},
                       {b.crc, 4}, {b.packed, 4}, {b.size, 4}, {name.size(), 2}, {extra.size(), 2}, {0, 2}, {0, 2},
                       {0, 2}, {static_cast<uint64_t>(mode) << 16, 4}, {b.at, 4}});
        central += name + extra;
        ++headers;
    }

    // The archive: the local part, the central directory, and an end record counting
    // `count` entries (-1: the headers written).
    std::string Finish(long count = -1, const std::string& comment = "") const {
        const uint64_t n = count < 0 ? headers : static_cast<uint64_t>(count);
        std::string out = bytes + central;
        Put(&out, {{0x06054b50, 4}, {0, 2}, {0, 2}, {n, 2}, {n, 2}, {central.size(), 4}, {bytes.size(), 4},
                   {comment.size(), 2}});
        return out + comment;
    }

    static std::string Deflate(const std::string& data) {
        z_stream z = {};
        deflateInit2(&z, Z_BEST_COMPRESSION, Z_DEFLATED, -MAX_WBITS, 8, Z_DEFAULT_STRATEGY);
        std::string out(deflateBound(&z, data.size()), '\0');
        z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(data.data()));
        z.avail_in = static_cast<uInt>(data.size());
        z.next_out = reinterpret_cast<Bytef*>(&out[0]);
        z.avail_out = static_cast<uInt>(out.size());
        deflate(&z, Z_FINISH);
        out.resize(z.total_out);
        deflateEnd(&z);
        return out;
    }

    std::string bytes;
    std::string central;
    unsigned headers = 0;
};

class ZipFacadeArchiveTest : public ::testing::Test {
protected:
    void SetUp() override {
        dir_ = zid_test::MakeTempFolder("zid-unzip-archive");
        dest_ = dir_ + "/out";
    }
    void TearDown() override { zplat::RemoveItem(dir_); }

    std::string Write(const std::string& bytes) {
        const std::string path = dir_ + "/a" + std::to_string(n_++) + ".zip";
        WriteBytes(path, bytes);
        return path;
    }

    // Unzips as the installer does, through the form that also reports the error.
    bool Unzip(const std::string& zip, zplat::ErrorRecord* err) {
        zplat::RemoveItem(dest_);
        reported_.reset();
        return ZipFacade::UnzipFileAtPath(
            zip, dest_, true, true, "", err, nullptr, nullptr,
            [&](const std::optional<std::string>&, bool, const std::optional<zplat::ErrorRecord>& e) {
                reported_ = e;
            });
    }

    // Refused before anything is written, as an archive that cannot be opened; for the
    // reason `why`, when given.
    void ExpectRefused(const std::string& zip, const std::string& why = "") {
        EXPECT_NE(zipfacade::ReadCentralDirectory(zip).fault.find(why), std::string::npos)
            << "not refused for: " << why;
        zplat::ErrorRecord err;
        EXPECT_FALSE(Unzip(zip, &err));
        EXPECT_EQ(err.domain, kZipFacadeErrorDomain);
        EXPECT_EQ(err.code, -1);
        EXPECT_EQ(err.description, "failed to open zip file");
        EXPECT_FALSE(zplat::ItemExists(dest_)) << "something was unpacked";
    }

    std::string dir_, dest_;
    std::optional<zplat::ErrorRecord> reported_;
    int n_ = 0;
};

// What Python's zipfile lists in `zip`, one name a line ("ERROR" when it refuses it).
std::string PythonNames(const std::string& zip) {
    const std::string cmd = "python3 -c \"import zipfile,sys\ntry: print('\\n'.join(zipfile.ZipFile(sys.argv[1]).namelist()))\n"
                            "except Exception: print('ERROR')\" '" + zip + "'";
    std::string out;
    if (FILE* p = popen(cmd.c_str(), "r")) {
        char buf[256];
        for (size_t n; (n = fread(buf, 1, sizeof buf, p)) > 0;) out.append(buf, n);
        pclose(p);
    }
    return out;
}

TEST_F(ZipFacadeArchiveTest, EntriesSharingStoredDataAreRefused) {
    {
        SCOPED_TRACE("thirty central headers for one deflated body");
        RawZip z;
        // One name, so each central header matches the one local header.
        const RawZip::Body body = z.Local("f10", std::string(64 * 1024, 'z'), true);
        for (int i = 10; i < 40; ++i) z.Central("f10", body);
        ExpectRefused(Write(z.Finish()), "share stored data");

        RawZip one;
        one.Central("f10", one.Local("f10", std::string(64 * 1024, 'z'), true));
        zplat::ErrorRecord err;
        EXPECT_TRUE(Unzip(Write(one.Finish()), &err)) << err.description;
        EXPECT_EQ(zplat::FileSize(dest_ + "/f10"), 64 * 1024);
    }
    {
        // The outer entry's stored data holds a whole entry, header and data.
        SCOPED_TRACE("an entry inside another entry's data");
        RawZip inner;
        inner.Local("in.txt", "inner");
        RawZip z;
        const RawZip::Body outer = z.Local("outer.bin", "pre" + inner.bytes + "post");
        RawZip::Body nested = outer;
        nested.at = outer.at + 30 + 9 + 3;
        nested.crc = RawZip::Crc("inner");
        nested.packed = nested.size = 5;
        z.Central("outer.bin", outer);
        z.Central("in.txt", nested);
        ExpectRefused(Write(z.Finish()), "share stored data");
    }
}

TEST_F(ZipFacadeArchiveTest, CentralDirectoryThatDoesNotMatchItsEndRecordIsRefused) {
    auto five = [](unsigned headers) {
        RawZip z;
        for (char c = 'a'; c <= 'e'; ++c) {
            const std::string name = std::string(1, c) + ".txt";
            const RawZip::Body b = z.Local(name, std::string(10, c));
            if (static_cast<unsigned>(c - 'a') < headers) z.Central(name, b);
        }
        return z;
    };
    ExpectRefused(Write(five(3).Finish(5)));  // counts more than there are
    ExpectRefused(Write(five(5).Finish(3)));  // counts fewer: readers that walk the size disagree

    RawZip z = five(5);
    const size_t header = 46 + 5;
    z.central.replace(2 * header, header, std::string(header, '\0'));
    ExpectRefused(Write(z.Finish()));
}

// The shape: an archive of "a.txt" whose comment holds a second central directory
// (of "e.txt", whose entry lies unlisted in the data), a zip64 end record for it and a
// locator pointing there.
std::string HiddenZip64Locator() {
    RawZip z;
    z.Central("a.txt", z.Local("a.txt", "listed"));
    const RawZip::Body e = z.Local("e.txt", "hidden");
    RawZip fake;
    fake.Central("e.txt", e);
    const uint64_t comment_at = z.bytes.size() + z.central.size() + 22;
    const uint64_t zip64_at = comment_at + fake.central.size();
    std::string comment = fake.central;
    Put(&comment, {{0x06064b50, 4}, {44, 8}, {0x031E, 2}, {45, 2}, {0, 4}, {0, 4}, {1, 8}, {1, 8},
                   {fake.central.size(), 8}, {comment_at, 8}});
    Put(&comment, {{0x07064b50, 4}, {0, 4}, {zip64_at, 8}, {1, 4}});
    return z.Finish(-1, comment);
}

// A zip64 archive of "a.txt" whose locator points at a zip64 end record that lies
// `gap` bytes before it, and whose classic end record counts `classic_count`.
std::string Zip64Tail(uint64_t gap, uint64_t classic_count) {
    RawZip z;
    z.Central("a.txt", z.Local("a.txt", "alpha"));
    std::string out = z.bytes + z.central;
    const uint64_t zip64_at = out.size();
    Put(&out, {{0x06064b50, 4}, {44, 8}, {0x031E, 2}, {45, 2}, {0, 4}, {0, 4}, {1, 8}, {1, 8},
               {z.central.size(), 8}, {z.bytes.size(), 8}});
    out += std::string(gap, '\0');
    Put(&out, {{0x07064b50, 4}, {0, 4}, {zip64_at, 8}, {1, 4}});
    Put(&out, {{0x06054b50, 4}, {0, 2}, {0, 2}, {classic_count, 2}, {classic_count, 2}, {kMax32, 4}, {kMax32, 4},
               {0, 2}});
    return out;
}

TEST_F(ZipFacadeArchiveTest, EndRecordsThatDisagreeAreRefused) {
    const std::string hidden = Write(HiddenZip64Locator());
    EXPECT_EQ(PythonNames(hidden), "a.txt\n");  // the archive as other readers list it
    ExpectRefused(hidden);
    EXPECT_FALSE(zplat::ItemExists(dest_ + "/e.txt"));

    ExpectRefused(Write(Zip64Tail(8, 0xFFFF)));  // zip64 end record not directly before its locator
    ExpectRefused(Write(Zip64Tail(0, 2)));       // classic end record counting otherwise than the zip64 one

    // The same records in agreement unpack.
    zplat::ErrorRecord err;
    EXPECT_TRUE(Unzip(Write(Zip64Tail(0, 0xFFFF)), &err)) << err.description;
    EXPECT_EQ(ReadBytes(dest_ + "/a.txt"), "alpha");
    EXPECT_TRUE(Unzip(Write(Zip64Tail(0, 1)), &err)) << err.description;
}

TEST_F(ZipFacadeArchiveTest, SoundArchivesOfUnusualShapeStillUnpack) {
    RawZip z;
    z.Central("empty.txt", z.Local("empty.txt", ""));
    z.Central("dir/", z.Local("dir/", ""), 040755);
    z.Central("dir/b.txt", z.Local("dir/b.txt", "bravo", true));
    const struct {
        const char* name;
        std::string bytes;
    } cases[] = {
        {"plain", z.Finish()},
        {"with a comment that holds signatures", z.Finish(-1, "PK\x06\x07 is no locator here")},
        // A self-extractor's stub before the archive shifts every offset.
        {"with data before the archive", std::string(1000, 'S') + z.Finish()},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        zplat::ErrorRecord err;
        EXPECT_TRUE(Unzip(Write(c.bytes), &err)) << err.description;
        EXPECT_EQ(zplat::FileSize(dest_ + "/empty.txt"), 0);
        EXPECT_EQ(ReadBytes(dest_ + "/dir/b.txt"), "bravo");
    }
}

TEST_F(ZipFacadeArchiveTest, ReadFailuresFillTheErrorRecord) {
    // Data that cannot be inflated to its declared size, failing in the first chunk read and
    // in a later one, for a file and for a link.
    const struct {
        const char* name;
        size_t length;  // what inflates before the stream breaks or ends
        uint64_t declared;
        uint32_t mode;
        bool broken;
    } cases[] = {
        {"file cut short at once", 100, 20000, 0100644, true},
        {"file cut short after some chunks", 40000, 60000, 0100644, true},
        {"link cut short", 6, 20000, 0120777, true},
        {"file whose stream ends early", 100, 20000, 0100644, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string data(c.length, 'x');
        const std::string body = c.broken ? zid_test::DeflatedThenBroken(data) : RawZip::Deflate(data);
        RawZip z;
        z.Central("x", z.Stored("x", body, Z_DEFLATED, RawZip::Crc(std::string(c.declared, 'x')), body.size(),
                                c.declared),
                  c.mode);
        zplat::ErrorRecord err;
        EXPECT_FALSE(Unzip(Write(z.Finish()), &err));
        EXPECT_EQ(err.domain, kZipFacadeErrorDomain);
        EXPECT_EQ(err.code, -4);
        EXPECT_EQ(err.description, "failed to read contents of file entry");
        EXPECT_TRUE(reported_ && reported_->code == -4) << "the completion handler got no such error";
    }

    // Stored data cut short: what its headers declare runs into the central directory.
    RawZip z;
    z.Central("x", z.Local("x", std::string(100, 'x'), false, 20000));
    ExpectRefused(Write(z.Finish()), "lies in the central directory");
}

// The archive of WriteZip64 (one entry, "a.txt", its central sizes and offset in zip64
// fields only) with the local header's name cut to "a.tx", its extra field a byte longer
// so the data stays where it was.
std::string Zip64WithShorterLocalName(const std::string& dir) {
    const std::string path = dir + "/zip64-source.zip";
    zid_test::WriteZip64(path, {{"a.txt", "alpha"}}, true);
    std::string bytes = ReadBytes(path);
    bytes[26] = 4;
    bytes[28] = static_cast<char>(bytes[28] + 1);
    return bytes;
}

TEST_F(ZipFacadeArchiveTest, LocalHeadersOtherReadersTakeOtherwiseAreRefused) {
    RawZip renamed;
    renamed.Central("safe.txt", renamed.Local("evil.txt", "payload"));

    // A local header and its data in the extra field of the central header before it.
    RawZip hidden;
    const RawZip::Body listed = hidden.Local("a.txt", "listed");
    RawZip inner;
    RawZip::Body h = inner.Local("h.txt", "hidden");
    std::string extra;
    Put(&extra, {{0xCAFE, 2}, {inner.bytes.size(), 2}});
    hidden.Central("a.txt", listed, 0100644, extra + inner.bytes);
    h.at = hidden.bytes.size() + 46 + 5 + 4;
    hidden.Central("h.txt", h);

    // A local header and its data in the end record's comment.
    RawZip commented;
    commented.Central("a.txt", commented.Local("a.txt", "listed"));
    RawZip trailer;
    RawZip::Body c = trailer.Local("c.txt", "comment");
    c.at = commented.bytes.size() + commented.central.size() + 46 + 5 + 22;
    commented.Central("c.txt", c);

    const struct {
        const char* name;
        std::string bytes;
        const char* why;
    } cases[] = {
        {"local name other than the central one", renamed.Finish(), "another name"},
        {"zip64 entry whose local name is of another length", Zip64WithShorterLocalName(dir_), "another name"},
        {"entry inside the central directory", hidden.Finish(), "lies in the central directory"},
        {"entry inside the end record's comment", commented.Finish(-1, trailer.bytes), "lies in the central directory"},
    };
    for (const auto& k : cases) {
        SCOPED_TRACE(k.name);
        ExpectRefused(Write(k.bytes), k.why);
    }

    // Unchanged, the zip64 archive unpacks.
    zplat::ErrorRecord err;
    const std::string sound = dir_ + "/zip64-sound.zip";
    zid_test::WriteZip64(sound, {{"a.txt", "alpha"}}, true);
    EXPECT_TRUE(Unzip(sound, &err)) << err.description;
    EXPECT_EQ(ReadBytes(dest_ + "/a.txt"), "alpha");
}

TEST_F(ZipFacadeArchiveTest, ClassicEndRecordCountingAllOnesIsACountLikeAnyOther) {
    // 65,535 entries fit the classic record exactly: with no zip64 records after the
    // directory, the walk must end after the last header, not read the end record as one.
    constexpr unsigned kEntries = 0xFFFF;
    RawZip z;
    for (unsigned i = 0; i < kEntries; ++i) {
        const std::string name = "d" + std::to_string(i / 1000) + "/f" + std::to_string(i);
        z.Central(name, z.Local(name, ""));
    }
    const std::string zip = Write(z.Finish());
    long last = -1;
    ZipProgressHandler progress = [&](const std::string&, const unz_file_info64&, long index, long total) {
        if (total == static_cast<long>(kEntries)) last = index;
    };
    // Dates are left alone: the walk is what is under test, and it stays quick.
    zplat::ErrorRecord err;
    EXPECT_TRUE(ZipFacade::UnzipFileAtPath(zip, dest_, false, true, "", &err, nullptr, progress, nullptr))
        << err.domain << " " << err.code << " " << err.description;
    EXPECT_EQ(last, static_cast<long>(kEntries) - 1);
    EXPECT_TRUE(zplat::ItemExists(dest_ + "/d65/f65534"));
}

}  // namespace
