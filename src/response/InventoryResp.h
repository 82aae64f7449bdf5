#pragma once

// A bucket's inventory configurations: one by its id, or a page of them.

#include <cstdint>
#include <string>
#include <vector>

#include "request/SetMask.h"
#include "response/BaseResp.h"
#include "response/InventoryRecords.h"

namespace zuzezi_zid {

class GetBucketInventoryResp : public BaseResp, public SetMask {
public:
    static constexpr uint64_t kInventory = 0x1;

    bool ParseFromXmlString(const std::string& body) override;
    void SetInventory(const Inventory& inventory) { Store(m_inventory, inventory, kInventory); }
    const Inventory& GetInventory() const { return m_inventory; }

private:
    Inventory m_inventory;
};

// Its own list of configurations; the single inventory of the base stays as it was.
class ListBucketInventoryConfigurationsResp : public GetBucketInventoryResp {
public:
    bool ParseFromXmlString(const std::string& body) override;
    void AddInventory(const Inventory& inventory) { m_inventories.push_back(inventory); }
    void SetIsTruncated(bool truncated) { m_is_truncated = truncated; }
    void SetContinuationToken(const std::string& token) { m_continuation_token = token; }
    void SetNextContinuationToken(const std::string& token) { m_next_continuation_token = token; }
    std::vector<Inventory> GetInventoryConfigurations() const { return m_inventories; }
    bool IsTruncated() const { return m_is_truncated; }
    std::string GetContinuationToken() const { return m_continuation_token; }
    std::string GetNextContinuationToken() const { return m_next_continuation_token; }

private:
    std::vector<Inventory> m_inventories;
    bool m_is_truncated = false;
    std::string m_continuation_token;
    std::string m_next_continuation_token;
};

}  // namespace zuzezi_zid
