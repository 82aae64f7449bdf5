#include <gtest/gtest.h>

#include <string>

#include "response/InventoryResp.h"
#include "support/LogCapture.h"

using namespace zuzezi_zid;
using zid_test::LogCapture;

namespace {

const char* const kFull =
    "<InventoryConfiguration><Id>list1</Id><IsEnabled>True</IsEnabled>"
    "<Destination><ZIDBucketDestination><Format>CSV</Format><AccountId>1250000000</AccountId>"
    "<Bucket>qcs::zid:ap-guangzhou::inv-1250000000</Bucket><Prefix>reports/</Prefix>"
    "<Encryption><SSE-ZID/></Encryption><Odd/></ZIDBucketDestination></Destination>"
    "<Schedule><Frequency>Weekly</Frequency></Schedule>"
    "<Filter><Prefix>photos/</Prefix></Filter>"
    "<IncludedObjectVersions>All</IncludedObjectVersions>"
    "<OptionalFields><Field>Size</Field><Field>ETag</Field><Field>Colour</Field></OptionalFields>"
    "<Unknown/></InventoryConfiguration>";

}  // namespace

TEST(InventoryRespTest, ReadsOneConfigurationSilently) {
    LogCapture log;
    GetBucketInventoryResp resp;
    ASSERT_TRUE(resp.ParseFromXmlString(kFull));
    EXPECT_TRUE(log.All().empty());
    EXPECT_EQ(resp.GetMask(), GetBucketInventoryResp::kInventory);
    const Inventory& inventory = resp.GetInventory();
    EXPECT_EQ(inventory.GetMask(), 0x7Fu);
    EXPECT_EQ(inventory.GetId(), "list1");
    EXPECT_TRUE(inventory.GetIsEnable());
    EXPECT_EQ(inventory.GetFrequency(), "Weekly");
    EXPECT_EQ(inventory.GetFilter(), "photos/");
    EXPECT_EQ(inventory.GetIncludedObjectVersions(), "All");
    const ZIDBucketDestination& destination = inventory.GetZIDBucketDestination();
    EXPECT_EQ(destination.GetMask(), 0x1Fu);
    EXPECT_EQ(destination.GetFormat(), "CSV");
    EXPECT_EQ(destination.GetAccountId(), "1250000000");
    EXPECT_EQ(destination.GetBucket(), "qcs::zid:ap-guangzhou::inv-1250000000");
    EXPECT_EQ(destination.GetPrefix(), "reports/");
    EXPECT_TRUE(destination.GetEncryption());
    const OptionalFields& fields = inventory.GetOptionalFields();
    EXPECT_EQ(fields.GetMask(), OptionalFields::kSize | OptionalFields::kEtag);
    EXPECT_TRUE(fields.GetIsSize());
    EXPECT_TRUE(fields.GetIsEtag());
    EXPECT_FALSE(fields.GetIsLastModified());
}

TEST(InventoryRespTest, ElementEdgeCases) {
    struct Case {
        const char* children;
        uint64_t mask;
        bool enabled;
        const char* frequency;
    };
    const Case cases[] = {
        {"<IsEnabled>TRUE</IsEnabled>", Inventory::kIsEnable, true, ""},
        {"<IsEnabled>1</IsEnabled>", Inventory::kIsEnable, false, ""},
        {"<IsEnabled>yes</IsEnabled>", Inventory::kIsEnable, false, ""},
        {"<Schedule><Frequency>Monthly</Frequency></Schedule>", 0, true, ""},
        {"<Schedule><Frequency>daily</Frequency></Schedule>", 0, true, ""},
        {"<Schedule><Other/><Frequency>Daily</Frequency></Schedule>", 0, true, ""},
        {"<Schedule/><Filter/><Destination/>", 0, true, ""},
        {"<Destination><COSBucketDestination><Format>CSV</Format></COSBucketDestination></Destination>",
         0, true, ""},
        {"<Destination><ZIDBucketDestination/></Destination>", Inventory::kDestination, true, ""},
        {"<OptionalFields/>", Inventory::kOptionalFields, true, ""},
    };
    for (const auto& c : cases) {
        GetBucketInventoryResp resp;
        ASSERT_TRUE(resp.ParseFromXmlString(std::string("<InventoryConfiguration>") + c.children +
                                            "</InventoryConfiguration>"))
            << c.children;
        EXPECT_EQ(resp.GetInventory().GetMask(), c.mask) << c.children;
        EXPECT_EQ(resp.GetInventory().GetIsEnable(), c.enabled) << c.children;
        EXPECT_EQ(resp.GetInventory().GetFrequency(), c.frequency) << c.children;
        EXPECT_EQ(resp.GetInventory().GetZIDBucketDestination().GetMask(), 0u) << c.children;
    }
}

TEST(InventoryRespTest, ListKeepsEachConfigurationApart) {
    LogCapture log;
    ListBucketInventoryConfigurationsResp resp;
    ASSERT_TRUE(resp.ParseFromXmlString(
        std::string("<ListInventoryConfigurationResult>") + kFull +
        "<InventoryConfiguration><Id>list2</Id><Destination><ZIDBucketDestination>"
        "<Format>ORC</Format></ZIDBucketDestination></Destination>"
        "<OptionalFields><Field>LastModifiedDate</Field></OptionalFields></InventoryConfiguration>"
        "<IsTruncated>TRUE</IsTruncated><ContinuationToken>c1</ContinuationToken>"
        "<NextContinuationToken>c2</NextContinuationToken><Stray/>"
        "</ListInventoryConfigurationResult>"));
    EXPECT_TRUE(log.All().empty());
    const auto inventories = resp.GetInventoryConfigurations();
    ASSERT_EQ(inventories.size(), 2u);
    EXPECT_EQ(inventories[0].GetId(), "list1");
    EXPECT_EQ(inventories[0].GetZIDBucketDestination().GetFormat(), "CSV");
    EXPECT_TRUE(inventories[0].GetOptionalFields().GetIsSize());
    EXPECT_EQ(inventories[1].GetId(), "list2");
    EXPECT_EQ(inventories[1].GetZIDBucketDestination().GetFormat(), "ORC");
    EXPECT_FALSE(inventories[1].GetZIDBucketDestination().GetEncryption());
    EXPECT_EQ(inventories[1].GetOptionalFields().GetMask(), OptionalFields::kLastModified);
    EXPECT_TRUE(resp.IsTruncated());
    EXPECT_EQ(resp.GetContinuationToken(), "c1");
    EXPECT_EQ(resp.GetNextContinuationToken(), "c2");
    EXPECT_EQ(resp.GetMask(), 0u);  // the single inventory of the base is left alone
}
