#include <set>

#include "ServiceImpl.h"

namespace zid_local {

std::optional<Answer> LocalService::Impl::AclTaggingRoutes(Call& c) {
    const std::string& m = c.method;
    if (c.key.empty()) return std::nullopt;
    if (m == "PUT" && c.Has("acl")) return PutAcl(c);
    if (m == "PUT" && c.Has("tagging")) return PutTagging(c);
    if (m == "GET" && c.Has("acl")) return GetAcl(c);
    if (m == "GET" && c.Has("tagging")) return GetTagging(c);
    if (m == "DELETE" && c.Has("acl")) {
        // Back to the owner-only default; the object itself stays.
        if (!store.Get(c.bucket, c.key)) return Error(c, 404, "NoSuchKey", "The specified key does not exist.");
        store.SetAcl(c.bucket, c.key, std::string());
        Answer a;
        a.status = 204;
        return a;
    }
    if (m == "DELETE" && c.Has("tagging")) {
        if (!store.Get(c.bucket, c.key)) return Error(c, 404, "NoSuchKey", "The specified key does not exist.");
        store.SetTags(c.bucket, c.key, {});
        Answer a;
        a.status = 204;
        return a;
    }
    return std::nullopt;
}

Answer LocalService::Impl::PutAcl(Call& c) {
    if (!store.Get(c.bucket, c.key)) return Error(c, 404, "NoSuchKey", "The specified key does not exist.");
    Answer err;
    if (!CheckContentMd5(c, &err)) return err;
    if (c.body.empty()) {
        std::string canned = Trim(c.Header("x-zid-acl"));
        if (canned.empty()) return Error(c, 400, "MissingSecurityHeader", "Your request is missing a required header: x-zid-acl or a body.");
        if (canned != "private" && canned != "public-read" && canned != "public-read-write" && canned != "default")
            return Error(c, 400, "InvalidArgument", "Unknown x-zid-acl: " + canned);
        store.SetAcl(c.bucket, c.key, DefaultAcl(c.accessKey, canned));
        return Answer();
    }
    XmlDoc doc(c.body);
    rapidxml::xml_node<>* root = doc.Root("AccessControlPolicy");
    rapidxml::xml_node<>* owner = root ? root->first_node("Owner") : nullptr;
    rapidxml::xml_node<>* list = root ? root->first_node("AccessControlList") : nullptr;
    if (!root || !owner || !owner->first_node("ID") || !list || !list->first_node("Grant"))
        return Error(c, 400, "MalformedXML", "The XML you provided was not well-formed or did not validate against our published schema.");
    for (auto* g = list->first_node("Grant"); g; g = g->next_sibling("Grant")) {
        std::string perm = Trim(ChildText(g, "Permission"));
        static const std::set<std::string> perms = {"READ", "WRITE", "FULL_CONTROL", "READ_ACP", "WRITE_ACP"};
        if (!g->first_node("Grantee") || !perms.count(perm))
            return Error(c, 400, "MalformedXML", "Grant needs a Grantee and a known Permission.");
    }
    store.SetAcl(c.bucket, c.key, c.body);
    return Answer();
}

Answer LocalService::Impl::GetAcl(Call& c) {
    if (!store.Get(c.bucket, c.key)) return Error(c, 404, "NoSuchKey", "The specified key does not exist.");
    std::string acl = store.GetAcl(c.bucket, c.key);
    Answer a;
    a.Set("Content-Type", "application/xml");
    a.body = acl.empty() ? DefaultAcl(c.accessKey, "private") : acl;
    return a;
}

Answer LocalService::Impl::PutTagging(Call& c) {
    if (!store.Get(c.bucket, c.key)) return Error(c, 404, "NoSuchKey", "The specified key does not exist.");
    Answer err;
    if (!CheckContentMd5(c, &err)) return err;
    XmlDoc doc(c.body);
    rapidxml::xml_node<>* root = doc.Root("Tagging");
    rapidxml::xml_node<>* set = root ? root->first_node("TagSet") : nullptr;
    if (!set) return Error(c, 400, "MalformedXML", "The XML you provided was not well-formed or did not validate against our published schema.");
    std::vector<std::pair<std::string, std::string>> tags;
    std::set<std::string> keys;
    for (auto* t = set->first_node("Tag"); t; t = t->next_sibling("Tag")) {
        bool hasKey = false, hasValue = false;
        std::string k = ChildText(t, "Key", &hasKey), v = ChildText(t, "Value", &hasValue);
        if (!hasKey || k.empty() || !hasValue)
            return Error(c, 400, "InvalidTag", "Each tag needs a non-empty Key and a Value.");
        if (!keys.insert(k).second) return Error(c, 400, "InvalidTag", "Cannot provide multiple Tags with the same key: " + k);
        tags.emplace_back(k, v);
    }
    if (tags.size() > 10) return Error(c, 400, "BadRequest", "Object tags cannot be greater than 10");
    store.SetTags(c.bucket, c.key, std::move(tags));
    return Answer();
}

Answer LocalService::Impl::GetTagging(Call& c) {
    if (!store.Get(c.bucket, c.key)) return Error(c, 404, "NoSuchKey", "The specified key does not exist.");
    std::string body = "<Tagging><TagSet>";
    for (const auto& t : store.GetTags(c.bucket, c.key))
        body += "<Tag>" + Elem("Key", t.first) + Elem("Value", t.second) + "</Tag>";
    body += "</TagSet></Tagging>";
    Answer a;
    a.Set("Content-Type", "application/xml");
    a.body = body;
    return a;
}

}  // namespace zid_local
