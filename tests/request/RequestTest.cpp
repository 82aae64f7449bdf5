#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <sstream>
#include <stdexcept>

#include "ClientSettings.h"
#include "request/BucketReq.h"
#include "request/ObjectReq.h"

using namespace zuzezi_zid;

namespace {

const std::map<std::string, std::string> kOnlyUserAgent = {{"User-Agent", "rir-ira-dov-v5.5.18"}};

}  // namespace

TEST(BaseReqTest, FreshRequestsOfEveryKindStartTheSame) {
    std::istringstream in("x");
    std::vector<std::unique_ptr<BaseReq>> reqs;
    reqs.emplace_back(new BaseReq());
    reqs.emplace_back(new GetObjectReq("b", "k"));
    reqs.emplace_back(new PutObjectByStreamReq("b", "k", in));
    reqs.emplace_back(new HeadObjectReq("b", "k"));
    reqs.emplace_back(new CopyReq("b", "k"));
    reqs.emplace_back(new BucketReq("b"));
    for (const auto& req : reqs) {
        EXPECT_EQ(req->GetHeaders(), kOnlyUserAgent);
        EXPECT_TRUE(req->GetParams().empty());
        EXPECT_EQ(req->GetBody(), "");
        EXPECT_FALSE(req->IsHttps());
        EXPECT_TRUE(req->CheckMD5());
        EXPECT_FALSE(req->CheckCRC64());
        EXPECT_TRUE(req->GetVerifyCert());
        EXPECT_TRUE(req->SignHeaderHost());
        EXPECT_EQ(req->GetCaLocation(), "");
        EXPECT_EQ(req->GetSSLCtxCbData(), nullptr);
    }
}

TEST(BaseReqTest, TimeoutsAreTakenAtConstruction) {
    const uint64_t saved = ClientSettings::GetConnTimeoutInms();
    BaseReq before;
    ClientSettings::SetConnTimeoutInms(1234);
    BaseReq after;
    ClientSettings::SetConnTimeoutInms(saved);
    EXPECT_EQ(before.GetConnTimeoutInms(), saved);
    EXPECT_EQ(after.GetConnTimeoutInms(), 1234u);
}

TEST(BaseReqTest, HeadersParamsMethodAndDump) {
    BaseReq req;
    req.AddHeader("b", "1");
    req.AddHeader("b", "2");
    req.AddHeaders({{"a", "x"}, {"B", "y"}});
    req.AddParam("uploads", "");
    req.SetMethod("get");
    req.SetPath("/p");
    EXPECT_EQ(req.GetHeader("b"), "2");
    EXPECT_EQ(req.GetHeader("missing"), "");
    EXPECT_EQ(req.GetParams().count("uploads"), 1u);
    EXPECT_EQ(req.GetMethod(), "GET");
    EXPECT_EQ(req.DumpText(),
              "\nMethod=GET, Path=/p\nHeaders={\n"
              "\tkey=[B], value=[y]\n\tkey=[User-Agent], value=[rir-ira-dov-v5.5.18]\n"
              "\tkey=[a], value=[x]\n\tkey=[b], value=[2]\n}\n"
              "Params={\n\tkey=[uploads], value=[]\n}\n");
}

TEST(BaseReqTest, CopyKeepsCallbackAndEveryField) {
    BaseReq req;
    int seen = 0;
    req.SetSSLCtxCallback([&seen](void*, void*) { return ++seen; }, &seen);
    req.SetHttps();
    req.SetCaLocation("/ca");
    req.SetVerifyCert(false);
    req.AddParam("p", "v");
    BaseReq copy(req);
    EXPECT_TRUE(copy.IsHttps());
    EXPECT_EQ(copy.GetCaLocation(), "/ca");
    EXPECT_FALSE(copy.GetVerifyCert());
    EXPECT_EQ(copy.GetParam("p"), "v");
    EXPECT_EQ(copy.GetSSLCtxCbData(), &seen);
    EXPECT_EQ(copy.GetSSLCtxCallback()(nullptr, nullptr), 1);
}

TEST(ObjectReqTest, ObjectNameAndPath) {
    struct Case {
        const char* object;
        const char* name;
        const char* path;
    };
    const Case cases[] = {
        {"/dir/a.txt", "dir/a.txt", "/dir/a.txt"},
        {"a.txt", "a.txt", "/a.txt"},
        {"", "", "/"},
        {"//x", "/x", "//x"},
    };
    for (const auto& c : cases) {
        GetObjectReq req("bucket-1", c.object);
        EXPECT_EQ(req.GetObjectName(), c.name) << c.object;
        EXPECT_EQ(req.GetPath(), c.path) << c.object;
        EXPECT_EQ(req.GetMethod(), "GET");
    }
}

// A delete takes the key exactly: dropping a "/" would delete another object.
TEST(ObjectReqTest, DeleteKeepsTheKeyAsGiven) {
    for (const char* key : {"/a", "a", "p//x", "/"}) {
        DeleteObjectReq req("bucket-1", key);
        EXPECT_EQ(req.GetObjectName(), key);
        EXPECT_EQ(req.GetPath(), std::string("/") + key);
    }
}

TEST(ObjectReqTest, InvalidBucketNamesThrowWithTheName) {
    for (const char* bad : {"", "-a", "a-", "a_b", "a.b"}) {
        try {
            HeadObjectReq req(bad, "k");
            ADD_FAILURE() << "accepted " << bad;
        } catch (const std::invalid_argument& e) {
            EXPECT_EQ(std::string(e.what()), std::string("Invalid bucket_name argument :") + bad);
        }
        EXPECT_THROW(ListMultipartUploadReq req(bad), std::invalid_argument);
    }
    EXPECT_NO_THROW(GetObjectReq("A", "k"));
    EXPECT_NO_THROW(GetObjectReq("ab-12-C", "k"));
}

TEST(ObjectReqTest, MethodsAndParamsOfEachClass) {
    std::istringstream in;
    struct Case {
        std::unique_ptr<BaseReq> req;
        const char* method;
        std::map<std::string, std::string> params;
    };
    Case cases[] = {
        {std::make_unique<GetObjectByFileReq>("b", "k", "/tmp/x"), "GET", {}},
        {std::make_unique<PutObjectByFileReq>("b", "k", "/tmp/x"), "PUT", {}},
        {std::make_unique<PutDirectoryReq>("b", "d/"), "PUT", {}},
        {std::make_unique<DeleteObjectReq>("b", "k"), "DELETE", {}},
        {std::make_unique<HeadObjectReq>("b", "k"), "HEAD", {}},
        {std::make_unique<ListPartsReq>("b", "k", ""), "GET", {{"uploadId", ""}}},
        {std::make_unique<InitMultiUploadReq>("b", "k"), "POST", {}},
        {std::make_unique<CompleteMultiUploadReq>("b", "k", "u"), "POST", {}},
        {std::make_unique<AbortMultiUploadReq>("b", "k", "u"), "DELETE", {}},
        {std::make_unique<UploadPartDataReq>("b", "k", "u", in), "PUT", {}},
        {std::make_unique<PutObjectCopyReq>("b", "k"), "PUT", {}},
        {std::make_unique<DeleteObjectsReq>("b"), "POST", {{"delete", ""}}},
        {std::make_unique<PutObjectACLReq>("b", "k"), "PUT", {{"acl", ""}}},
        {std::make_unique<GetObjectACLReq>("b", "k"), "GET", {{"acl", ""}}},
        {std::make_unique<PutObjectTaggingReq>("b", "k"), "PUT", {{"tagging", ""}}},
        {std::make_unique<GetObjectTaggingReq>("b", "k"), "GET", {{"tagging", ""}}},
        {std::make_unique<DeleteObjectTaggingReq>("b", "k"), "DELETE", {{"tagging", ""}}},
        {std::make_unique<PostObjectRestoreReq>("b", "k"), "POST", {{"restore", ""}}},
        {std::make_unique<ListMultipartUploadReq>("b"), "GET", {{"uploads", ""}}},
        {std::make_unique<GetBucketReq>("b"), "GET", {}},
        {std::make_unique<HeadBucketReq>("b"), "HEAD", {}},
        {std::make_unique<GetBucketLocationReq>("b"), "GET", {{"location", ""}}},
        {std::make_unique<PutBucketInventoryReq>("b"), "PUT", {{"inventory", ""}}},
        {std::make_unique<GetBucketInventoryReq>("b"), "GET", {{"inventory", ""}}},
        {std::make_unique<DeleteBucketInventoryReq>("b"), "DELETE", {{"inventory", ""}}},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(c.req->GetMethod(), c.method) << c.req->DumpText();
        EXPECT_EQ(c.req->GetParams(), c.params) << c.req->DumpText();
    }
}

TEST(ObjectReqTest, DefaultLocalPathStaysInTheWorkingFolder) {
    struct Case {
        const char* object;
        const char* local;
    };
    const Case cases[] = {
        {"dir/a.txt", "./dir/a.txt"},
        {"/dir/a.txt", ".//dir/a.txt"},
        {"../../etc/passwd", "./etc/passwd"},
        {"a/../../b", "./b"},
        {"a/./../..", "."},
        {"..a/b..", "./..a/b.."},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(GetObjectByFileReq("b", c.object).GetLocalFilePath(), c.local) << c.object;
        EXPECT_EQ(AsyncMultiPutObjectReq("b", c.object).GetLocalFilePath(), c.local) << c.object;
    }
    EXPECT_EQ(GetObjectByFileReq("b", "../x", "../given").GetLocalFilePath(), "../given");
}

TEST(ObjectReqTest, LocalFileSize) {
    const std::string path = ::testing::TempDir() + "zid_req_size.bin";
    std::ofstream(path, std::ios::binary) << std::string(1234, 'z');
    EXPECT_EQ(PutObjectByFileReq("b", "k", path).GetLocalFileSize(), 1234);
    std::remove(path.c_str());
    EXPECT_EQ(PutObjectByFileReq("b", "k", path).GetLocalFileSize(), -1);
}

TEST(ObjectReqTest, AsyncCopiesCarryTheWholeRequest) {
    int user = 0;
    uint64_t progressed = 0;
    AsyncMultiGetObjectReq req("b", "/dir/k", "/tmp/out");
    req.AddHeader("Range", "bytes=0-1");
    req.SetUserData(&user);
    req.SetTransferProgressCallback([&progressed](uint64_t done, uint64_t, void*) { progressed = done; });
    AsyncMultiGetObjectReq copy(req);
    GetObjectByFileReq plain(req);  // a derived request copied into its base class
    for (const GetObjectByFileReq* r : {static_cast<GetObjectByFileReq*>(&copy), &plain}) {
        EXPECT_EQ(r->GetBucketName(), "b");
        EXPECT_EQ(r->GetObjectName(), "dir/k");
        EXPECT_EQ(r->GetLocalFilePath(), "/tmp/out");
        EXPECT_EQ(r->GetHeader("Range"), "bytes=0-1");
        EXPECT_EQ(r->GetUserData(), &user);
        r->GetTransferProgressCallback()(7, 9, nullptr);
        EXPECT_EQ(progressed, 7u);
    }

    std::istringstream in("data");
    AsyncPutObjectByStreamReq stream_req("b", "k", in);
    AsyncPutObjectByStreamReq stream_copy(stream_req);
    EXPECT_EQ(&stream_copy.GetStream(), &in);
}

TEST(ObjectReqTest, PutSwitchesAndPartFields) {
    PutObjectReq put("b", "k");
    EXPECT_TRUE(put.ShouldComputeContentMd5());
    EXPECT_TRUE(put.ShouldCheckETag());
    put.TurnOffComputeConentMd5();
    put.TurnOffCheckETag();
    EXPECT_FALSE(put.ShouldComputeContentMd5());
    EXPECT_FALSE(put.ShouldCheckETag());

    std::istringstream in("p");
    UploadPartDataReq part("b", "k", "up-1", in);
    EXPECT_EQ(part.GetPartNumber(), 1u);
    part.SetPartNumber(3);
    part.SetTrafficLimit("819200");
    EXPECT_EQ(part.GetPartNumber(), 3u);
    EXPECT_EQ(part.GetUploadId(), "up-1");
    EXPECT_EQ(part.GetHeader("x-zid-traffic-limit"), "819200");
    EXPECT_EQ(&part.GetStream(), &in);

    ListPartsReq list("b", "k", "up-1");
    list.SetPartNumberMarker("5");
    EXPECT_EQ(list.GetParam("part-number-marker"), "5");
    ListMultipartUploadReq uploads("b");
    uploads.SetPrefix("dir/");
    EXPECT_EQ(uploads.GetPath(), "/");
    EXPECT_EQ(uploads.GetParam("prefix"), "dir/");
}

TEST(ObjectReqTest, CopyRequestTakesSizesAtConstruction) {
    const uint64_t saved = ClientSettings::GetUploadCopyPartSize();
    CopyReq before("b", "k");
    ClientSettings::SetUploadCopyPartSize(5 * 1024 * 1024);
    CopyReq after("b", "k");
    ClientSettings::SetUploadCopyPartSize(saved);
    EXPECT_EQ(before.GetPartSize(), saved);
    EXPECT_EQ(after.GetPartSize(), 5u * 1024 * 1024);
    EXPECT_EQ(after.GetThreadPoolSize(), ClientSettings::GetUploadThreadPoolSize());
}

TEST(ObjectReqTest, PresignedRequestKeepsTheKeyAsGiven) {
    GeneratePresignedUrlReq req("b", "/a b", 2);
    EXPECT_EQ(req.GetMethod(), "PUT");
    EXPECT_EQ(req.GetPath(), "//a b");
    EXPECT_EQ(req.GetObjectName(), "a b");
    EXPECT_TRUE(req.UseHttps());
    EXPECT_EQ(req.GetStartTimeInSec(), 0u);
    EXPECT_EQ(req.GetExpiredTimeInSec(), 0u);
    EXPECT_EQ(GeneratePresignedUrlReq("b", "k", 9).GetMethod(), "UNKNOWN");
    EXPECT_EQ(GeneratePresignedUrlReq("b", "k", 0).GetMethod(), "HEAD");
}

TEST(ObjectReqTest, NamesOfTheCompositeRequests) {
    MoveObjectReq move("b", "/src", "dst");
    EXPECT_EQ(move.GetBucketName(), "b");
    EXPECT_EQ(move.GetSrcObjectName(), "/src");
    EXPECT_EQ(move.GetDstObjectName(), "dst");
    PutObjectsByDirectoryReq dir("b", "/tmp/d", "pre/");
    EXPECT_EQ(dir.GetDirectoryName(), "/tmp/d");
    EXPECT_EQ(dir.GetZidPath(), "pre/");
    EXPECT_EQ(HeadBucketReq("b").GetPath(), "") << "the URL builder supplies the \"/\"";
    GetBucketReq page("b");
    page.SetPrefix("");
    page.SetMarker("a");
    page.SetMarker("b/c");
    EXPECT_EQ(page.GetPath(), "/");
    EXPECT_EQ(page.GetParams(), (std::map<std::string, std::string>{{"prefix", ""}, {"marker", "b/c"}}));
    GetBucketInventoryReq inventory("b");
    EXPECT_FALSE(inventory.HasId());
    inventory.SetId("");
    EXPECT_TRUE(inventory.HasId()) << "an empty id is still an id that was set";
    EXPECT_EQ(inventory.GetParam("id"), "");
    DeleteObjectsByPrefixReq prefix("b", "logs/");
    EXPECT_EQ(prefix.GetBucketName(), "b");
    EXPECT_EQ(prefix.GetPrefix(), "logs/");
    UploadPartCopyDataReq part_copy("b", "k", "u", 4);
    EXPECT_EQ(part_copy.GetUploadId(), "u");
    EXPECT_EQ(part_copy.GetPartNumber(), 4u);
}

TEST(TagTest, MaskDecidesPresence) {
    Tag fresh;
    EXPECT_FALSE(fresh.HasKey());
    EXPECT_FALSE(fresh.HasValue());
    EXPECT_EQ(fresh.GetKey(), "");
    Tag tag;
    tag.SetKey("");
    EXPECT_TRUE(tag.HasKey());
    EXPECT_FALSE(tag.HasValue());
    tag.SetValue("v");
    tag.SetValue("w");
    Tag copy(tag);
    EXPECT_TRUE(copy.HasKey());
    EXPECT_TRUE(copy.HasValue());
    EXPECT_EQ(copy.GetKey(), "");
    EXPECT_EQ(copy.GetValue(), "w");
}
