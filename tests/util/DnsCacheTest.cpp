#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netdb.h>

#include <cstring>
#include <map>
#include <set>
#include <stdexcept>
#include <string>
#include <vector>

#include <Poco/Net/NetException.h>

#include "ClientSettings.h"
#include "SettingsGuard.h"
#include "util/LruCache.h"
#include "util/SimpleDnsCache.h"

using namespace zuzezi_zid;

namespace {

Poco::Net::HostEntry EntryOf(const std::string& name, const std::vector<std::string>& ips) {
    std::vector<addrinfo> infos(ips.size());
    std::vector<sockaddr_in> addrs(ips.size());
    std::vector<char> canon(name.begin(), name.end());
    canon.push_back('\0');
    for (size_t i = 0; i < ips.size(); ++i) {
        std::memset(&infos[i], 0, sizeof(addrinfo));
        std::memset(&addrs[i], 0, sizeof(sockaddr_in));
        addrs[i].sin_family = AF_INET;
        inet_pton(AF_INET, ips[i].c_str(), &addrs[i].sin_addr);
        infos[i].ai_family = AF_INET;
        infos[i].ai_addr = reinterpret_cast<sockaddr*>(&addrs[i]);
        infos[i].ai_addrlen = sizeof(sockaddr_in);
        infos[i].ai_canonname = i == 0 ? canon.data() : nullptr;
        infos[i].ai_next = i + 1 < ips.size() ? &infos[i + 1] : nullptr;
    }
    if (ips.empty()) {
        return Poco::Net::HostEntry();
    }
    return Poco::Net::HostEntry(infos.data());
}

// A cache with a settable clock and a scripted resolver.
class FakeDnsCache : public SimpleDnsCache {
public:
    FakeDnsCache(unsigned capacity, unsigned expire) : SimpleDnsCache(capacity, expire) {}
    int64_t now = 1000000;
    std::map<std::string, std::vector<std::string>> hosts;
    std::vector<std::string> queries;

protected:
    int64_t Now() const override { return now; }
    Poco::Net::HostEntry Query(const std::string& host) override {
        queries.push_back(host);
        auto it = hosts.find(host);
        if (it == hosts.end()) {
            throw Poco::Net::HostNotFoundException(host);
        }
        return EntryOf(host, it->second);
    }
};

std::vector<std::string> g_lines;
void Capture(const std::string& line) { g_lines.push_back(line); }

}  // namespace

TEST(DnsCacheTest, QueriesOnceAndServesUntilExpiry) {
    zid_util_test::SettingsGuard guard;
    ClientSettings::SetLogLevel(4);
    ClientSettings::SetLogOutType(0);
    ClientSettings::SetLogCallback(&Capture);
    g_lines.clear();

    FakeDnsCache cache(1000, 600);
    cache.hosts["h.example"] = {"10.0.0.1"};
    EXPECT_EQ(cache.Resolve("h.example"), "10.0.0.1");
    ASSERT_EQ(cache.queries.size(), 1u);
    bool logged_miss = false;
    for (const auto& l : g_lines) {
        logged_miss = logged_miss || l.find("h.example not exists in cache") != std::string::npos;
    }
    EXPECT_TRUE(logged_miss);

    cache.hosts["h.example"] = {"10.0.0.2"};
    cache.now += 600;  // exactly as old as the expiry: still served
    EXPECT_EQ(cache.Resolve("h.example"), "10.0.0.1");
    EXPECT_EQ(cache.queries.size(), 1u);
    cache.now += 1;  // 601 seconds
    EXPECT_EQ(cache.Resolve("h.example"), "10.0.0.2");
    EXPECT_EQ(cache.queries.size(), 2u);
    EXPECT_TRUE(cache.Exist("h.example"));
}

TEST(DnsCacheTest, EmptyHostAndFailedLookup) {
    FakeDnsCache cache(10, 600);
    EXPECT_EQ(cache.Resolve(""), "");
    EXPECT_TRUE(cache.queries.empty());
    EXPECT_THROW(cache.Resolve("missing.example"), Poco::Net::HostNotFoundException);
    EXPECT_FALSE(cache.Exist("missing.example"));
    cache.hosts["none.example"] = {};
    EXPECT_EQ(cache.Resolve("none.example"), "");
}

TEST(DnsCacheTest, EveryAddressCanBeChosen) {
    FakeDnsCache cache(10, 600);
    cache.hosts["multi.example"] = {"10.0.0.1", "10.0.0.2", "10.0.0.3"};
    std::set<std::string> chosen;
    for (int i = 0; i < 300; ++i) {
        chosen.insert(cache.Resolve("multi.example"));
    }
    EXPECT_EQ(chosen, (std::set<std::string>{"10.0.0.1", "10.0.0.2", "10.0.0.3"}));
    EXPECT_EQ(cache.queries.size(), 1u);
}

TEST(DnsCacheTest, RealLookUpOfANumericHost) {
    // A numeric host needs no name server, so the test stays on this machine.
    SimpleDnsCache cache(10, 600);
    EXPECT_EQ(cache.Resolve("127.0.0.1"), "127.0.0.1");
    EXPECT_TRUE(cache.Exist("127.0.0.1"));
    EXPECT_EQ(cache.Resolve("::1"), "::1");
}

TEST(LruCacheTest, EvictsLeastRecentlyUsed) {
    LruCache<std::string, int> lru(3);
    lru.Put("a", 1);
    lru.Put("b", 2);
    lru.Put("c", 3);
    EXPECT_EQ(lru.Get("a"), 1);  // "b" is now the oldest
    lru.Put("d", 4);
    EXPECT_TRUE(lru.Exist("a"));
    EXPECT_FALSE(lru.Exist("b"));
    EXPECT_TRUE(lru.Exist("c"));
    EXPECT_EQ(lru.Size(), 3u);

    lru.Put("c", 30);  // replacing evicts nothing
    EXPECT_EQ(lru.Size(), 3u);
    EXPECT_EQ(lru.Get("c"), 30);
    EXPECT_TRUE(lru.Exist("a"));
    EXPECT_TRUE(lru.Exist("d"));

    try {
        lru.Get("b");
        FAIL() << "absent key returned a value";
    } catch (const std::range_error& e) {
        EXPECT_STREQ(e.what(), "No such key in cache");
    }
}

TEST(LruCacheTest, ThousandAndOneHosts) {
    LruCache<std::string, int> lru(1000);
    for (int i = 0; i < 1000; ++i) {
        lru.Put("h" + std::to_string(i), i);
    }
    lru.Get("h0");
    lru.Put("h1000", 1000);
    EXPECT_EQ(lru.Size(), 1000u);
    EXPECT_TRUE(lru.Exist("h0"));
    EXPECT_FALSE(lru.Exist("h1"));
}

TEST(LruCacheTest, ZeroCapacityKeepsWhatItWasJustGiven) {
    LruCache<std::string, int> lru(0);
    lru.Put("a", 1);
    EXPECT_EQ(lru.Get("a"), 1);
    lru.Put("b", 2);
    EXPECT_EQ(lru.Get("b"), 2);
    EXPECT_FALSE(lru.Exist("a"));
}
