#include <gtest/gtest.h>

#include <functional>
#include <string>

#include "model/BucketRecords.h"
#include "model/InventoryRecords.h"
#include "model/LifecycleRecords.h"
#include "model/Tag.h"
#include "model/WebsiteRecords.h"

using namespace zuzezi_zid;

namespace {

struct Outcome {
    uint64_t mask;
    bool stored;  // the getter gives back what the setter was given
};

struct MaskCase {
    const char* setter;
    std::function<Outcome()> run;  // one setter on a fresh record
    uint64_t mask;
};

template <class R, class V, class G>
Outcome Apply(void (R::*set)(V), typename std::decay<V>::type value, G get) {
    R record;
    (record.*set)(value);
    return {record.GetMask(), (record.*get)() == value};
}

}  // namespace

TEST(RecordMaskTest, EachSetterStoresAndMarksItsOwnBit) {
    const MaskCase cases[] = {
        {"LifecycleFilter::SetPrefix",
         [] { return Apply(&LifecycleFilter::SetPrefix, "logs/", &LifecycleFilter::GetPrefix); }, 0x1},
        {"LifecycleFilter::AddTag",
         [] {
             LifecycleFilter f;
             f.AddTag({"k", "v"});
             return Outcome{f.GetMask(), f.GetTags().size() == 1 && f.GetTags()[0].m_value == "v"};
         },
         0x2},
        {"LifecycleTransition::SetDays",
         [] { return Apply(&LifecycleTransition::SetDays, 30, &LifecycleTransition::GetDays); }, 0x1},
        {"LifecycleTransition::SetDate",
         [] { return Apply(&LifecycleTransition::SetDate, "2026-01-01", &LifecycleTransition::GetDate); },
         0x2},
        {"LifecycleTransition::SetStorageClass",
         [] {
             return Apply(&LifecycleTransition::SetStorageClass, "ARCHIVE",
                          &LifecycleTransition::GetStorageClass);
         },
         0x4},
        {"LifecycleExpiration::SetDays",
         [] { return Apply(&LifecycleExpiration::SetDays, 9, &LifecycleExpiration::GetDays); }, 0x1},
        {"LifecycleExpiration::SetDate",
         [] { return Apply(&LifecycleExpiration::SetDate, "d", &LifecycleExpiration::GetDate); }, 0x2},
        {"LifecycleExpiration::SetExpiredObjDelMarker",
         [] {
             return Apply(&LifecycleExpiration::SetExpiredObjDelMarker, true,
                          &LifecycleExpiration::GetExpiredObjDelMarker);
         },
         0x4},
        {"LifecycleNonCurrTransition::SetDays",
         [] { return Apply(&LifecycleNonCurrTransition::SetDays, 5, &LifecycleNonCurrTransition::GetDays); },
         0x1},
        {"LifecycleNonCurrTransition::SetStorageClass",
         [] {
             return Apply(&LifecycleNonCurrTransition::SetStorageClass, "IA",
                          &LifecycleNonCurrTransition::GetStorageClass);
         },
         0x2},
        {"LifecycleNonCurrExpiration::SetDays",
         [] { return Apply(&LifecycleNonCurrExpiration::SetDays, 2, &LifecycleNonCurrExpiration::GetDays); },
         0x1},
        {"LifecycleRule::SetIsEnable",
         [] { return Apply(&LifecycleRule::SetIsEnable, true, &LifecycleRule::GetIsEnable); }, 0x1},
        {"LifecycleRule::SetId", [] { return Apply(&LifecycleRule::SetId, "r1", &LifecycleRule::GetId); },
         0x2},
        {"LifecycleRule::SetFilter",
         [] {
             LifecycleFilter f;
             f.SetPrefix("p");
             LifecycleRule r;
             r.SetFilter(f);
             return Outcome{r.GetMask(), r.GetFilter().GetPrefix() == "p" && r.GetFilter().GetMask() == 1};
         },
         0x4},
        {"LifecycleRule::AddTransition",
         [] {
             LifecycleTransition t;
             t.SetDays(3);
             LifecycleRule r;
             r.AddTransition(t);
             return Outcome{r.GetMask(), r.GetTransitions().at(0).GetDays() == 3};
         },
         0x8},
        {"LifecycleRule::SetExpiration",
         [] {
             LifecycleExpiration e;
             e.SetDays(4);
             LifecycleRule r;
             r.SetExpiration(e);
             return Outcome{r.GetMask(), r.GetExpiration().GetDays() == 4};
         },
         0x10},
        {"LifecycleRule::SetNonCurrTransition",
         [] {
             LifecycleNonCurrTransition t;
             t.SetStorageClass("IA");
             LifecycleRule r;
             r.SetNonCurrTransition(t);
             return Outcome{r.GetMask(), r.GetNonCurrTransition().GetStorageClass() == "IA"};
         },
         0x20},
        {"LifecycleRule::SetNonCurrExpiration",
         [] {
             LifecycleNonCurrExpiration e;
             e.SetDays(6);
             LifecycleRule r;
             r.SetNonCurrExpiration(e);
             return Outcome{r.GetMask(), r.GetNonCurrExpiration().GetDays() == 6};
         },
         0x40},
        {"LifecycleRule::SetAbortIncompleteMultiUpload",
         [] {
             LifecycleRule r;
             r.SetAbortIncompleteMultiUpload({7});
             return Outcome{r.GetMask(), r.GetAbortIncompleteMultiUpload().m_days_after_initiation == 7};
         },
         0x80},
        {"Condition::SetHttpErrorCodeReturnedEquals",
         [] {
             return Apply(&Condition::SetHttpErrorCodeReturnedEquals, 500,
                          &Condition::GetHttpErrorCodeReturnedEquals);
         },
         0x1},
        {"Condition::SetKeyPrefixEquals",
         [] { return Apply(&Condition::SetKeyPrefixEquals, "docs/", &Condition::GetKeyPrefixEquals); },
         0x2},
        {"Redirect::SetProtocol",
         [] { return Apply(&Redirect::SetProtocol, "https", &Redirect::GetProtocol); }, 0x1},
        {"Redirect::SetReplaceKeyWith",
         [] { return Apply(&Redirect::SetReplaceKeyWith, "err.html", &Redirect::GetReplaceKeyWith); },
         0x2},
        {"Redirect::SetReplaceKeyPrefixWith",
         [] {
             return Apply(&Redirect::SetReplaceKeyPrefixWith, "new/", &Redirect::GetReplaceKeyPrefixWith);
         },
         0x4},
        {"RoutingRule::SetCondition",
         [] {
             Condition c;
             c.SetKeyPrefixEquals("a");
             RoutingRule r;
             r.SetCondition(c);
             return Outcome{r.GetMask(), r.GetCondition().GetKeyPrefixEquals() == "a" &&
                                             r.GetCondition().GetMask() == 0x2};
         },
         0x1},
        {"RoutingRule::SetRedirect",
         [] {
             Redirect d;
             d.SetProtocol("http");
             RoutingRule r;
             r.SetRedirect(d);
             return Outcome{r.GetMask(), r.GetRedirect().GetProtocol() == "http"};
         },
         0x2},
        {"ZIDBucketDestination::SetFormat",
         [] { return Apply(&ZIDBucketDestination::SetFormat, "CSV", &ZIDBucketDestination::GetFormat); },
         0x1},
        {"ZIDBucketDestination::SetAccountId",
         [] { return Apply(&ZIDBucketDestination::SetAccountId, "100", &ZIDBucketDestination::GetAccountId); },
         0x2},
        {"ZIDBucketDestination::SetBucket",
         [] { return Apply(&ZIDBucketDestination::SetBucket, "b", &ZIDBucketDestination::GetBucket); },
         0x4},
        {"ZIDBucketDestination::SetPrefix",
         [] { return Apply(&ZIDBucketDestination::SetPrefix, "inv/", &ZIDBucketDestination::GetPrefix); },
         0x8},
        {"ZIDBucketDestination::SetEncryption",
         [] { return Apply(&ZIDBucketDestination::SetEncryption, true, &ZIDBucketDestination::GetEncryption); },
         0x10},
        {"OptionalFields::SetIsSize",
         [] { return Apply(&OptionalFields::SetIsSize, true, &OptionalFields::GetIsSize); }, 0x1},
        {"OptionalFields::SetIsLastModified",
         [] { return Apply(&OptionalFields::SetIsLastModified, true, &OptionalFields::GetIsLastModified); },
         0x2},
        {"OptionalFields::SetIsStorageClass",
         [] { return Apply(&OptionalFields::SetIsStorageClass, true, &OptionalFields::GetIsStorageClass); },
         0x4},
        {"OptionalFields::SetIsMultipartUploaded",
         [] {
             return Apply(&OptionalFields::SetIsMultipartUploaded, true,
                          &OptionalFields::GetIsMultipartUploaded);
         },
         0x8},
        {"OptionalFields::SetIsReplicationStatus",
         [] {
             return Apply(&OptionalFields::SetIsReplicationStatus, true,
                          &OptionalFields::GetIsReplicationStatus);
         },
         0x10},
        // The bit marks the field as given, also when the value is false.
        {"OptionalFields::SetIsEtag(false)",
         [] { return Apply(&OptionalFields::SetIsEtag, false, &OptionalFields::GetIsEtag); }, 0x20},
        {"Inventory::SetId", [] { return Apply(&Inventory::SetId, "inv1", &Inventory::GetId); }, 0x1},
        {"Inventory::SetIsEnable(false)",
         [] { return Apply(&Inventory::SetIsEnable, false, &Inventory::GetIsEnable); }, 0x2},
        {"Inventory::SetIncludedObjectVersions",
         [] {
             return Apply(&Inventory::SetIncludedObjectVersions, "All",
                          &Inventory::GetIncludedObjectVersions);
         },
         0x4},
        {"Inventory::SetFilter", [] { return Apply(&Inventory::SetFilter, "p/", &Inventory::GetFilter); },
         0x8},
        {"Inventory::SetZIDBucketDestination",
         [] {
             ZIDBucketDestination d;
             d.SetBucket("dst");
             Inventory i;
             i.SetZIDBucketDestination(d);
             return Outcome{i.GetMask(), i.GetZIDBucketDestination().GetBucket() == "dst"};
         },
         0x10},
        {"Inventory::SetOptionalFields",
         [] {
             OptionalFields o;
             o.SetIsSize(true);
             Inventory i;
             i.SetOptionalFields(o);
             return Outcome{i.GetMask(), i.GetOptionalFields().GetIsSize()};
         },
         0x20},
        {"Inventory::SetFrequency(Weekly)",
         [] { return Apply(&Inventory::SetFrequency, "Weekly", &Inventory::GetFrequency); }, 0x40},
        {"Inventory::SetFrequency(Daily)",
         [] { return Apply(&Inventory::SetFrequency, "Daily", &Inventory::GetFrequency); }, 0x40},
        {"LoggingEnabled::SetTargetBucket",
         [] { return Apply(&LoggingEnabled::SetTargetBucket, "logs", &LoggingEnabled::GetTargetBucket); },
         0x1},
        {"LoggingEnabled::SetTargetPrefix",
         [] { return Apply(&LoggingEnabled::SetTargetPrefix, "p/", &LoggingEnabled::GetTargetPrefix); },
         0x2},
        {"Tag::SetKey", [] { return Apply(&Tag::SetKey, "k", &Tag::GetKey); }, 0x1},
        {"Tag::SetValue", [] { return Apply(&Tag::SetValue, "v", &Tag::GetValue); }, 0x2},
    };
    for (const auto& c : cases) {
        const Outcome out = c.run();
        EXPECT_EQ(out.mask, c.mask) << c.setter;
        EXPECT_TRUE(out.stored) << c.setter;
    }
}

TEST(RecordMaskTest, FreshRecordsHoldTheirDefaults) {
    Inventory inventory;
    EXPECT_TRUE(inventory.GetIsEnable());
    EXPECT_EQ(inventory.GetMask(), 0u);
    Condition condition;
    EXPECT_EQ(condition.GetHttpErrorCodeReturnedEquals(), 404);
    EXPECT_EQ(condition.GetMask(), 0u);
    LifecycleRule rule;
    EXPECT_EQ(rule.GetMask(), 0u);
    EXPECT_EQ(rule.GetAbortIncompleteMultiUpload().m_days_after_initiation, 0u);
    ZIDVersionSummary summary;
    EXPECT_FALSE(summary.m_is_latest);
    EXPECT_EQ(summary.m_size, 0u);
    EXPECT_FALSE(ReplicationRule().m_is_enable);
}

TEST(RecordMaskTest, FrequencyKeepsOnlyTheTwoSchedulesInTheirCase) {
    for (const char* text : {"daily", "WEEKLY", "Monthly", ""}) {
        Inventory inventory;
        inventory.SetFrequency(text);
        EXPECT_EQ(inventory.GetFrequency(), "") << text;
        EXPECT_EQ(inventory.GetMask(), 0u) << text;
    }
    // A rejected value drops an earlier one but keeps the mark it earned.
    Inventory inventory;
    inventory.SetFrequency("Weekly");
    inventory.SetFrequency("weekly");
    EXPECT_EQ(inventory.GetFrequency(), "");
    EXPECT_EQ(inventory.GetMask(), Inventory::kFrequency);
}

TEST(RecordMaskTest, RepeatedAppendsKeepEveryItemAndOneBit) {
    LifecycleRule rule;
    LifecycleTransition first;
    first.SetDays(30);
    LifecycleTransition second;
    second.SetStorageClass("ARCHIVE");
    rule.AddTransition(first);
    rule.AddTransition(second);
    ASSERT_EQ(rule.GetTransitions().size(), 2u);
    EXPECT_EQ(rule.GetTransitions()[1].GetStorageClass(), "ARCHIVE");
    EXPECT_EQ(rule.GetMask(), LifecycleRule::kTransition);
}

TEST(RecordMaskTest, CopiesCarryTheMaskAndSelfAssignmentChangesNothing) {
    Condition condition;
    condition.SetKeyPrefixEquals("a/");
    Redirect redirect;
    redirect.SetReplaceKeyWith("b");
    Inventory inventory;
    inventory.SetId("i");
    inventory.SetFrequency("Daily");

    Condition& condition_ref = condition;
    condition = condition_ref;
    Redirect& redirect_ref = redirect;
    redirect = redirect_ref;
    Inventory& inventory_ref = inventory;
    inventory = inventory_ref;
    EXPECT_EQ(condition.GetKeyPrefixEquals(), "a/");
    EXPECT_EQ(condition.GetMask(), Condition::kKeyPrefixEquals);
    EXPECT_EQ(redirect.GetReplaceKeyWith(), "b");
    EXPECT_EQ(redirect.GetMask(), Redirect::kReplaceKeyWith);
    EXPECT_EQ(inventory.GetFrequency(), "Daily");
    EXPECT_EQ(inventory.GetMask(), Inventory::kId | Inventory::kFrequency);

    Inventory other;
    other.SetFilter("f");
    other = inventory;
    EXPECT_EQ(other.GetMask(), inventory.GetMask());
    EXPECT_EQ(other.GetFilter(), "");
    EXPECT_EQ(other.GetId(), "i");
}
