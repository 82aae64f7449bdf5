#pragma once

/// @file
/// Answers about a bucket's inventory configurations: one by its id, or a page of them.

#include <cstdint>
#include <string>
#include <vector>

#include "zid/ZidExport.h"
#include "zid/model/InventoryRecords.h"
#include "zid/model/SetMask.h"
#include "zid/response/BaseResp.h"

namespace zuzezi_zid {

/// One inventory configuration of a bucket (an "InventoryConfiguration" document). The
/// mask's bit is set once a configuration was read.
class ZID_API GetBucketInventoryResp : public BaseResp, public SetMask {
public:
    static constexpr uint64_t kInventory = 0x1;  ///< Mask bit of the configuration.

    /// Reads the configuration; unknown elements are skipped without a log line.
    /// @param body the "InventoryConfiguration" document.
    /// @return false when the body is not XML or has another root.
    bool ParseFromXmlString(const std::string& body) override;
    /// Stores a copy of the configuration and sets the mask bit.
    void SetInventory(const Inventory& inventory) { Store(m_inventory, inventory, kInventory); }
    /// @return the configuration; valid while this response lives.
    const Inventory& GetInventory() const { return m_inventory; }

private:
    Inventory m_inventory;
};

/// A page of a bucket's inventory configurations (a "ListInventoryConfigurationResult"
/// document). It keeps its own list of configurations; the single inventory of the base
/// stays as it was.
class ZID_API ListBucketInventoryConfigurationsResp : public GetBucketInventoryResp {
public:
    /// Reads each "InventoryConfiguration" and the paging fields; unknown elements are
    /// skipped without a log line.
    /// @param body the "ListInventoryConfigurationResult" document.
    /// @return false when the body is not XML or has another root.
    bool ParseFromXmlString(const std::string& body) override;
    /// Appends a configuration.
    void AddInventory(const Inventory& inventory) { m_inventories.push_back(inventory); }
    /// Sets whether more configurations follow.
    void SetIsTruncated(bool truncated) { m_is_truncated = truncated; }
    /// Sets the token this page was asked with.
    void SetContinuationToken(const std::string& token) { m_continuation_token = token; }
    /// Sets the token of the next page.
    void SetNextContinuationToken(const std::string& token) { m_next_continuation_token = token; }
    /// @return this page's configurations in document order.
    std::vector<Inventory> GetInventoryConfigurations() const { return m_inventories; }
    /// @return true when "IsTruncated" is "true" in any letter case: ask again with
    ///         GetNextContinuationToken() for the rest.
    bool IsTruncated() const { return m_is_truncated; }
    /// @return "ContinuationToken": the token this page was asked with; "" for the first.
    std::string GetContinuationToken() const { return m_continuation_token; }
    /// @return "NextContinuationToken"; "" on the last page.
    std::string GetNextContinuationToken() const { return m_next_continuation_token; }

private:
    std::vector<Inventory> m_inventories;
    bool m_is_truncated = false;
    std::string m_continuation_token;
    std::string m_next_continuation_token;
};

}  // namespace zuzezi_zid
