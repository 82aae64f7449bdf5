#include <gtest/gtest.h>

#include <memory>

#include "ClientSettings.h"
#include "request/ObjectReq.h"
#include "response/BaseResp.h"
#include "response/BucketResp.h"
#include "response/ObjectResp.h"
#include "support/LogCapture.h"
#include "trsf/TransferHandler.h"
#include "trsf/ZidResult.h"

using namespace zuzezi_zid;

using zid_test::LogCapture;

TEST(BaseRespTest, FreshResponse) {
    BaseResp resp;
    EXPECT_TRUE(resp.GetHeaders().empty());
    EXPECT_EQ(resp.GetBody(), "");
    EXPECT_EQ(resp.GetContentLength(), 0u);
    EXPECT_EQ(resp.GetEtag(), "");
    EXPECT_EQ(resp.GetXZidRequestId(), "");
}

TEST(BaseRespTest, EtagLookup) {
    struct Case {
        std::map<std::string, std::string> headers;
        const char* etag;
    };
    const Case cases[] = {
        {{{"ETag", "\"abc\""}, {"Etag", "x"}}, "abc"},
        {{{"Etag", "\"x\""}}, "x"},
        {{{"etag", "\"lower\""}}, "lower"},  // from a proxy that lower-cases names
        {{{"ETag", "\""}}, ""},
        {{{"ETag", "\"\"abc\"\""}}, "\"abc\""},
        {{{"Other", "v"}}, ""},
    };
    for (const auto& c : cases) {
        BaseResp resp;
        resp.SetHeaders(c.headers);
        EXPECT_EQ(resp.GetEtag(), c.etag);
    }
}

TEST(BaseRespTest, HeaderFieldsAnySpelling) {
    struct Case {
        const char* name;
        const char* value;
        uint64_t length;
        bool numeric;
    };
    const Case cases[] = {
        {"Content-Length", "42", 42, true},
        {"content-length", "42", 42, true},
        {"Content-Length", "12abc", 12, false},
        {"Content-Length", "abc", 0, false},
        {"Content-Length", "", 0, false},
        {"Other", "5", 0, false},
    };
    for (const auto& c : cases) {
        BaseResp resp;
        resp.SetHeaders({{c.name, c.value}});
        EXPECT_EQ(resp.GetContentLength(), c.length) << c.name << "=" << c.value;
        EXPECT_EQ(resp.HasNumericContentLength(), c.numeric) << c.name << "=" << c.value;
    }
    BaseResp resp;
    resp.SetHeaders({{"x-zid-request-id", "exact"}, {"X-Zid-Request-Id", "other"},
                     {"LAST-MODIFIED", "Mon"}, {"x-zid-hash-crc64ecma", "123"}});
    EXPECT_EQ(resp.GetXZidRequestId(), "exact");
    EXPECT_EQ(resp.GetLastModified(), "Mon");
    EXPECT_EQ(resp.GetXZidHashCrc64Ecma(), "123");
    resp.SetContentLength(0);
    EXPECT_EQ(resp.GetHeader("Content-Length"), "0");
    EXPECT_TRUE(resp.HasNumericContentLength());
    resp.SetEtag("e1");
    EXPECT_EQ(resp.GetHeader("ETag"), "e1");
}

TEST(BaseRespTest, DumpAndCopyFrom) {
    BaseResp source;
    source.SetHeaders({{"b", "2"}, {"a", "1"}});
    source.SetBody("xyz");
    EXPECT_EQ(source.DumpText(), "a = 1\nb = 2\nxyz");

    InitMultiUploadResp init;
    ASSERT_TRUE(init.ParseFromXmlString(
        "<InitiateMultipartUploadResult><UploadId>u1</UploadId></InitiateMultipartUploadResult>"));
    init.CopyFrom(source);
    EXPECT_EQ(init.GetUploadId(), "u1");
    EXPECT_EQ(init.GetBody(), "xyz");
    EXPECT_EQ(init.GetHeaders(), source.GetHeaders());

    PutObjectByFileResp put;
    BaseResp* base = &put;
    base->ParseFromHeaders({{"ETag", "\"e\""}});
    base->SetBody("b");
    EXPECT_EQ(put.GetEtag(), "e");
    EXPECT_EQ(put.GetBody(), "b");
}

TEST(ObjectMetaRespTest, ObjectTypeAndMetadataAnySpelling) {
    const std::map<std::string, std::string> headers = {
        {"x-zid-meta-color", "red"},
        {"x-zid-meta-", "empty"},
        {"X-Zid-Meta-Size", "big"},
        {"x-zid-object-type", "appendable"},
        {"Content-Type", "text/plain"},
    };
    GetObjectByFileResp get;
    HeadObjectResp head;
    for (ObjectMetaResp* resp : {static_cast<ObjectMetaResp*>(&get), static_cast<ObjectMetaResp*>(&head)}) {
        static_cast<BaseResp*>(resp)->ParseFromHeaders(headers);
        EXPECT_EQ(resp->GetObjectType(), "appendable");
        const std::map<std::string, std::string> metas = {
            {"", "empty"}, {"Size", "big"}, {"color", "red"}};
        EXPECT_EQ(resp->GetXZidMetas(), metas);
        EXPECT_EQ(resp->GetHeaders(), headers);
    }
}

// Every parser: garbage, a missing root, an Error document, and nothing changes.
TEST(ParserTest, FailuresLeaveTheResponseUnchanged) {
    std::vector<std::unique_ptr<BaseResp>> resps;
    resps.emplace_back(new InitMultiUploadResp());
    resps.emplace_back(new CompleteMultiUploadResp());
    resps.emplace_back(new MultiPutObjectResp());
    resps.emplace_back(new ListPartsResp());
    resps.emplace_back(new GetObjectACLResp());
    resps.emplace_back(new GetObjectTaggingResp());
    resps.emplace_back(new PutObjectCopyResp());
    resps.emplace_back(new UploadPartCopyDataResp());
    resps.emplace_back(new DeleteObjectsResp());
    resps.emplace_back(new ListMultipartUploadResp());
    for (const char* body : {"", "   ", "plain text", "<a><b></a>",
                             "<Error><Code>NoSuchKey</Code></Error>"}) {
        for (auto& resp : resps) {
            EXPECT_FALSE(resp->ParseFromXmlString(body)) << typeid(*resp).name() << " " << body;
            EXPECT_EQ(resp->GetBody(), "");
        }
    }
}

TEST(ParserTest, InitAndComplete) {
    InitMultiUploadResp init;
    ASSERT_TRUE(init.ParseFromXmlString(
        "<InitiateMultipartUploadResult>\n\t<Bucket>b-1</Bucket>\n\t<Key>dir/k</Key>\n"
        "\t<UploadId>1500</UploadId>\n\t<Other>x</Other>\n</InitiateMultipartUploadResult>"));
    EXPECT_EQ(init.GetBucket(), "b-1");
    EXPECT_EQ(init.GetKey(), "dir/k");
    EXPECT_EQ(init.GetUploadId(), "1500");

    const std::string complete_body =
        "<CompleteMultipartUploadResult><Location>http://h/k</Location><Bucket>b</Bucket>"
        "<Key>k</Key><ETag>&quot;abc-2&quot;</ETag></CompleteMultipartUploadResult>";
    CompleteMultiUploadResp complete;
    ASSERT_TRUE(complete.ParseFromXmlString(complete_body));
    EXPECT_EQ(complete.GetLocation(), "http://h/k");
    EXPECT_EQ(complete.GetEtag(), "abc-2");
    EXPECT_EQ(complete.BaseResp::GetEtag(), "");  // the header map is not touched
    complete.AddEtagToHeader();
    EXPECT_EQ(complete.BaseResp::GetEtag(), "abc-2");

    MultiPutObjectResp multi;
    ASSERT_TRUE(multi.ParseFromXmlString(complete_body));
    EXPECT_EQ(multi.GetKey(), "k");
    EXPECT_EQ(multi.GetEtag(), "abc-2");  // into the header map
}

TEST(ParserTest, ListPartsDocument) {
    const std::string body =
        "<ListPartsResult>"
        "<Bucket>b</Bucket><Encoding-type>url</Encoding-type><EncodingType>plain</EncodingType>"
        "<Key>k</Key><UploadId>u</UploadId>"
        "<Initiator><ID>i1</ID><DisplayName>Ini</DisplayName><Extra/></Initiator>"
        "<Owner><ID>o1</ID></Owner>"
        "<PartNumberMarker>0</PartNumberMarker>"
        "<Part><PartNumber>1</PartNumber><LastModified>t1</LastModified>"
        "<ETag>\"e1\"</ETag><Size>10</Size></Part>"
        "<Part><PartNumber>2</PartNumber><ETag>e2</ETag><Size>20</Size><Odd>1</Odd></Part>"
        "<Part><PartNumber>3</PartNumber></Part>"
        "<NextPartNumberMarker>3</NextPartNumberMarker><StorageClass>STANDARD</StorageClass>"
        "<MaxParts>3</MaxParts><IsTruncated>True</IsTruncated><Surprise/>"
        "</ListPartsResult>";
    ListPartsResp resp;
    EXPECT_EQ(resp.GetMaxParts(), 1000u);
    ASSERT_TRUE(resp.ParseFromXmlString(body));
    EXPECT_EQ(resp.GetBucket(), "b");
    EXPECT_EQ(resp.GetEncodingType(), "plain");
    EXPECT_EQ(resp.GetInitiator().m_id, "i1");
    EXPECT_EQ(resp.GetInitiator().m_display_name, "Ini");
    EXPECT_EQ(resp.GetOwner().m_id, "o1");
    EXPECT_EQ(resp.GetNextPartNumberMarker(), 3u);
    EXPECT_EQ(resp.GetMaxParts(), 3u);
    EXPECT_FALSE(resp.IsTruncated());
    const auto parts = resp.GetParts();
    ASSERT_EQ(parts.size(), 3u);
    EXPECT_EQ(parts[0].m_part_num, 1u);
    EXPECT_EQ(parts[0].m_etag, "e1");
    EXPECT_EQ(parts[0].m_size, 10u);
    EXPECT_EQ(parts[0].m_last_modified, "t1");
    EXPECT_EQ(parts[1].m_etag, "e2");
    EXPECT_EQ(parts[2].m_part_num, 3u);
    EXPECT_EQ(parts[2].m_size, 0u);

    ASSERT_TRUE(resp.ParseFromXmlString("<ListPartsResult><IsTruncated>true</IsTruncated>"
                                        "<Part><PartNumber>4</PartNumber></Part></ListPartsResult>"));
    EXPECT_TRUE(resp.IsTruncated());
    EXPECT_EQ(resp.GetParts().size(), 4u);  // appended, not replaced
    EXPECT_EQ(resp.GetBucket(), "b");       // absent fields keep their values
}

TEST(ParserTest, CopyResults) {
    PutObjectCopyResp copy;
    ASSERT_TRUE(copy.ParseFromXmlString(
        "<CopyObjectResult><ETag>\"c1\"</ETag><LastModified>t</LastModified>"
        "<VersionId>v</VersionId><CRC64>0123</CRC64></CopyObjectResult>"));
    EXPECT_EQ(copy.GetEtag(), "c1");
    EXPECT_EQ(copy.GetLastModified(), "t");
    EXPECT_EQ(copy.GetVersionId(), "v");
    EXPECT_EQ(copy.GetCrc64(), "0123");

    UploadPartCopyDataResp part;
    ASSERT_TRUE(part.ParseFromXmlString(
        "<CopyPartResult><ETag>&quot;p1&quot;</ETag><LastModified>t2</LastModified></CopyPartResult>"));
    EXPECT_EQ(part.GetEtag(), "p1");
    EXPECT_EQ(part.GetLastModified(), "t2");
    EXPECT_FALSE(part.ParseFromXmlString("<CopyObjectResult/>"));
}

TEST(ParserTest, AclDocument) {
    GetObjectACLResp resp;
    ASSERT_TRUE(resp.ParseFromXmlString(
        "<AccessControlPolicy><Owner><ID>o</ID><DisplayName>On</DisplayName></Owner>"
        "<AccessControlList>"
        "<Grant><Grantee xmlns:xsi=\"http://www.w3.org/2001/XMLSchema-instance\" "
        "xsi:type=\"CanonicalUser\"><ID>g1</ID><DisplayName>G</DisplayName></Grantee>"
        "<Permission>READ</Permission></Grant>"
        "<Grant><Grantee><URI>http://all</URI></Grantee><Permission>WRITE</Permission></Grant>"
        "<NotAGrant/>"
        "</AccessControlList></AccessControlPolicy>"));
    EXPECT_EQ(resp.GetOwnerId(), "o");
    EXPECT_EQ(resp.GetOwnerDisplayName(), "On");
    const auto acl = resp.GetAccessControlList();
    ASSERT_EQ(acl.size(), 2u);
    EXPECT_EQ(acl[0].m_type, "CanonicalUser");
    EXPECT_EQ(acl[0].m_id, "g1");
    EXPECT_EQ(acl[0].m_perm, "READ");
    EXPECT_EQ(acl[1].m_type, "");
    EXPECT_EQ(acl[1].m_uri, "http://all");
}

TEST(ParserTest, TaggingDocument) {
    GetObjectTaggingResp resp;
    EXPECT_FALSE(resp.ParseFromXmlString("<Tagging><Other/></Tagging>"));
    ASSERT_TRUE(resp.ParseFromXmlString("<Tagging><TagSet/></Tagging>"));
    EXPECT_TRUE(resp.GetTagSet().empty());
    ASSERT_TRUE(resp.ParseFromXmlString(
        "<Tagging><TagSet><Tag><Key>k1</Key><Value>v1</Value></Tag>"
        "<Tag><Value>only</Value></Tag><Tag/><Junk/></TagSet></Tagging>"));
    const auto tags = resp.GetTagSet();
    ASSERT_EQ(tags.size(), 3u);
    EXPECT_EQ(tags[0].GetKey(), "k1");
    EXPECT_EQ(tags[0].GetValue(), "v1");
    EXPECT_FALSE(tags[1].HasKey());
    EXPECT_TRUE(tags[1].HasValue());
    EXPECT_FALSE(tags[2].HasKey());
    EXPECT_FALSE(tags[2].HasValue());
}

TEST(ParserTest, DeleteResultDocument) {
    DeleteObjectsResp resp;
    ASSERT_TRUE(resp.ParseFromXmlString(
        "<DeleteResult>"
        "<Deleted><Key>a</Key><DeleteMarker>false</DeleteMarker></Deleted>"
        "<Error><Key>b</Key><Code>AccessDenied</Code><Message>no</Message><VersionId>v</VersionId></Error>"
        "<Deleted><Key>c</Key><DeleteMarker>true</DeleteMarker>"
        "<DeleteMarkerVersionId>dm</DeleteMarkerVersionId><VersionId>v3</VersionId></Deleted>"
        "</DeleteResult>"));
    const auto deleted = resp.GetDeletedInfos();
    const auto errors = resp.GetErrorInfos();
    ASSERT_EQ(deleted.size(), 2u);
    ASSERT_EQ(errors.size(), 1u);
    EXPECT_EQ(deleted[0].m_key, "a");
    EXPECT_FALSE(deleted[0].m_delete_marker);
    EXPECT_EQ(deleted[1].m_key, "c");
    EXPECT_TRUE(deleted[1].m_delete_marker);
    EXPECT_EQ(deleted[1].m_delete_marker_version_id, "dm");
    EXPECT_EQ(deleted[1].m_version_id, "v3");
    EXPECT_EQ(errors[0].m_code, "AccessDenied");
    EXPECT_EQ(errors[0].m_message, "no");
    EXPECT_EQ(errors[0].m_version_id, "v");
}

TEST(ParserTest, MultipartUploadListing) {
    ListMultipartUploadResp resp;
    EXPECT_FALSE(resp.IsTruncated());
    ASSERT_TRUE(resp.ParseFromXmlString(
        "<ListMultipartUploadsResult><Bucket>b</Bucket><KeyMarker>km</KeyMarker>"
        "<NextUploadIdMarker>nu</NextUploadIdMarker><MaxUploads>1000x</MaxUploads>"
        "<IsTruncated>true</IsTruncated><Prefix>p/</Prefix>"
        "<CommonPrefixes><Prefix>p/a/</Prefix><Prefix>p/b/</Prefix></CommonPrefixes>"
        "<Upload><Key>p/k1</Key><UploadId>u1</UploadId><StorageClass>STANDARD</StorageClass>"
        "<Initiator><ID>i</ID><DisplayName>I</DisplayName></Initiator>"
        "<Owner><ID>o</ID></Owner><Initiated>2026-01-01</Initiated></Upload>"
        "<Upload><Key>p/k2</Key><UploadId>u2</UploadId></Upload>"
        "</ListMultipartUploadsResult>"));
    EXPECT_EQ(resp.GetBucket(), "b");
    EXPECT_EQ(resp.GetKeyMarker(), "km");
    EXPECT_EQ(resp.GetNextUploadIdMarker(), "nu");
    EXPECT_EQ(resp.GetMaxUploads(), "1000x");
    EXPECT_TRUE(resp.IsTruncated());
    EXPECT_EQ(resp.GetPrefix(), "p/");
    EXPECT_EQ(resp.GetCommonPrefixes(), (std::vector<std::string>{"p/a/", "p/b/"}));
    const auto uploads = resp.GetUpload();
    ASSERT_EQ(uploads.size(), 2u);
    EXPECT_EQ(uploads[0].m_key, "p/k1");
    EXPECT_EQ(uploads[0].m_upload_id, "u1");
    EXPECT_EQ(uploads[0].m_storage_class, "STANDARD");
    ASSERT_EQ(uploads[0].m_initiator.size(), 1u);  // one record holding both children
    EXPECT_EQ(uploads[0].m_initiator[0].m_id, "i");
    EXPECT_EQ(uploads[0].m_initiator[0].m_display_name, "I");
    ASSERT_EQ(uploads[0].m_owner.size(), 1u);
    EXPECT_EQ(uploads[0].m_initiated, "2026-01-01");
    EXPECT_EQ(uploads[1].m_upload_id, "u2");
}

TEST(CopyFromTest, CompositeResultsTakeTheStepsFields) {
    InitMultiUploadResp init;
    init.ParseFromXmlString("<InitiateMultipartUploadResult><Bucket>b</Bucket><Key>k</Key>"
                            "<UploadId>u</UploadId></InitiateMultipartUploadResult>");
    init.SetBody("init-body");
    CompleteMultiUploadResp complete;
    complete.ParseFromXmlString("<CompleteMultipartUploadResult><Location>l</Location>"
                                "<Bucket>b2</Bucket><Key>k2</Key><ETag>\"e\"</ETag>"
                                "</CompleteMultipartUploadResult>");
    complete.SetHeaders({{"x-zid-request-id", "r"}});
    BaseResp part;
    part.SetBody("part-body");

    MultiPutObjectResp multi;
    ResumableUploadResp resumable;
    multi.CopyFromInit(init);
    resumable.CopyFromInit(init);
    EXPECT_EQ(multi.GetRespKind(), "Init");
    EXPECT_EQ(resumable.GetUploadId(), "u");
    EXPECT_EQ(multi.GetBody(), "init-body");
    multi.CopyFromUpload(part);
    EXPECT_EQ(multi.GetRespKind(), "Upload");
    EXPECT_EQ(multi.GetBody(), "part-body");
    multi.CopyFromComplete(complete);
    resumable.CopyFromComplete(complete);
    for (auto* r : {static_cast<BaseResp*>(&multi), static_cast<BaseResp*>(&resumable)}) {
        EXPECT_EQ(r->GetEtag(), "e");
        EXPECT_EQ(r->GetXZidRequestId(), "r");
    }
    EXPECT_EQ(multi.GetRespKind(), "Complete");
    EXPECT_EQ(resumable.GetLocation(), "l");
    EXPECT_EQ(multi.GetUploadId(), "u");  // kept from the initiation

    CopyResp copy;
    copy.CopyFromComplete(complete);
    EXPECT_EQ(copy.BaseResp::GetEtag(), "e");
    EXPECT_EQ(copy.GetEtag(), "");
    EXPECT_EQ(copy.GetKey(), "k2");
    EXPECT_EQ(copy.GetRespKind(), "Complete");

    PutObjectCopyResp object_copy;
    object_copy.ParseFromXmlString("<CopyObjectResult><ETag>c</ETag><LastModified>t</LastModified>"
                                   "</CopyObjectResult>");
    copy.CopyFromPutObjectCopy(object_copy);
    EXPECT_EQ(copy.GetEtag(), "c");
    EXPECT_EQ(copy.BaseResp::GetEtag(), "c");
    EXPECT_EQ(copy.GetLastModified(), "t");
    EXPECT_EQ(copy.GetKey(), "");
    EXPECT_EQ(copy.GetLocation(), "");
    EXPECT_EQ(copy.GetRespKind(), "PutObjectCopy");
    copy.Clear();
    EXPECT_EQ(copy.GetEtag() + copy.GetLastModified() + copy.GetRespKind(), "");
}

TEST(ParserLogTest, UnknownElementsAreNamedInTheLog) {
    LogCapture log;
    DeleteObjectsResp deleted;
    ASSERT_TRUE(deleted.ParseFromXmlString("<DeleteResult><Odd/><Deleted><Extra/></Deleted></DeleteResult>"));
    EXPECT_TRUE(log.Contains("Unknown field in DeletResultnode, field_name=Odd"));
    EXPECT_TRUE(log.Contains("Unknown field in Deleted, field_name=Extra"));
    GetObjectTaggingResp tagging;
    EXPECT_FALSE(tagging.ParseFromXmlString("<Tagging/>"));
    EXPECT_TRUE(log.Contains("Miss node = TagSet, xml_body=<Tagging/>"));
    CompleteMultiUploadResp complete;
    EXPECT_FALSE(complete.ParseFromXmlString("oops"));
    EXPECT_TRUE(log.Contains("Parse string to xml doc error, xml_body=[oops]"));
    EXPECT_TRUE(log.Contains("ParseFromXmlString"));
}

TEST(AsyncRespTest, TakesWhatTheHandlerKept) {
    auto handler = std::make_shared<TransferHandler>();
    handler->ChangeStatus(TransferStatus::IN_PROGRESS);
    ZidResult result;
    result.SetSucc();
    handler->ChangeStatusWithResponse(TransferStatus::COMPLETED, result,
                                      {{"ETag", "\"h\""}, {"x-zid-request-id", "r1"}}, "kept body");
    AsyncResp resp(handler);
    EXPECT_EQ(resp.GetEtag(), "h");
    EXPECT_EQ(resp.GetXZidRequestId(), "r1");
    EXPECT_EQ(resp.GetBody(), "kept body");
}

TEST(BindRequestTest, HandlerTakesTheRequestsNamesAndCallbacks) {
    int user = 0;
    AsyncMultiGetObjectReq get("b", "/dir/k", "");
    get.SetUserData(&user);
    auto handler = std::make_shared<TransferHandler>();
    handler->BindRequest(get);
    get.SetUserData(nullptr);  // later changes do not reach the handler
    EXPECT_EQ(handler->GetBucketName(), "b");
    EXPECT_EQ(handler->GetObjectName(), "dir/k");
    EXPECT_EQ(handler->GetLocalFilePath(), ".//dir/k");
    EXPECT_EQ(handler->GetUserData(), &user);

    HeadObjectReq head("b", "k");
    auto other = std::make_shared<TransferHandler>();
    other->BindRequest(head);
    EXPECT_EQ(other->GetLocalFilePath(), "");
}
