#include "response/InventoryResp.h"

#include "response/XmlTable.h"
#include "util/StringUtil.h"

namespace zuzezi_zid {

using namespace xml;

namespace {

bool TrueInAnyCase(const Node* node) {
    return StringUtil::ToLowerCopy(XmlBodyReader::Text(node)) == "true";
}

// The elements of one inventory configuration; unknown ones are skipped without a line.
const Table<Inventory>& InventoryTable() {
    using D = ZIDBucketDestination;
    static const Table<D> kDestination{{{"Format", SetText(&D::SetFormat)},
                                        {"AccountId", SetText(&D::SetAccountId)},
                                        {"Bucket", SetText(&D::SetBucket)},
                                        {"Prefix", SetText(&D::SetPrefix)},
                                        {"Encryption", SetTrue(&D::SetEncryption)}},
                                       Unknown::kSkip};
    // Matched on the text of each child ("Field" elements), not on its name.
    using O = OptionalFields;
    static const Table<O> kOptionalFields{{{"Size", SetTrue(&O::SetIsSize)},
                                           {"LastModifiedDate", SetTrue(&O::SetIsLastModified)},
                                           {"ETag", SetTrue(&O::SetIsEtag)},
                                           {"StorageClass", SetTrue(&O::SetIsStorageClass)},
                                           {"IsMultipartUploaded", SetTrue(&O::SetIsMultipartUploaded)},
                                           {"ReplicationStatus", SetTrue(&O::SetIsReplicationStatus)}},
                                          Unknown::kSkip,
                                          "",
                                          true};
    using I = Inventory;
    static const Table<I> kInventory{
        {{"Id", SetText(&I::SetId)},
         {"IsEnabled", Call(&I::SetIsEnable, Convert<bool>(&TrueInAnyCase))},
         {"Destination",
          FirstChild<I>({"ZIDBucketDestination", Fill(&I::SetZIDBucketDestination, kDestination)})},
         {"Schedule", FirstChild<I>({"Frequency", SetText(&I::SetFrequency)})},
         {"Filter", FirstChild<I>({"Prefix", SetText(&I::SetFilter)})},
         {"IncludedObjectVersions", SetText(&I::SetIncludedObjectVersions)},
         {"OptionalFields", Fill(&I::SetOptionalFields, kOptionalFields)}},
        Unknown::kSkip};
    return kInventory;
}

}  // namespace

bool GetBucketInventoryResp::ParseFromXmlString(const std::string& body) {
    return ReadDocument(body, "InventoryConfiguration",
                        "Miss root node = InventoryConfiguration, xml_body=%s", ZID_LOG_SITE,
                        [this](const Node* root, const Walk& walk) {
                            Inventory inventory;
                            ReadChildren(root, inventory, InventoryTable(), walk);
                            SetInventory(inventory);
                            return true;
                        });
}

bool ListBucketInventoryConfigurationsResp::ParseFromXmlString(const std::string& body) {
    using R = ListBucketInventoryConfigurationsResp;
    static const Table<R> kRoot{
        {{"InventoryConfiguration", Fill(&R::AddInventory, InventoryTable())},
         {"IsTruncated", Call(&R::SetIsTruncated, Convert<bool>(&TrueInAnyCase))},
         {"ContinuationToken", SetText(&R::SetContinuationToken)},
         {"NextContinuationToken", SetText(&R::SetNextContinuationToken)}},
        Unknown::kSkip};
    return ReadDocument(body, "ListInventoryConfigurationResult",
                        "Miss root node = ListInventoryConfigurationResult, xml_body=%s", ZID_LOG_SITE,
                        *this, kRoot);
}

}  // namespace zuzezi_zid
