#include <zlib.h>

#include "ServiceImpl.h"

namespace zid_local {

namespace {

// The select answer's framing, written here with zlib's CRC-32 and nothing of the client's.
void PutBe32(std::string* out, uint32_t v) {
    for (int shift = 24; shift >= 0; shift -= 8) out->push_back(static_cast<char>((v >> shift) & 0xff));
}

uint32_t Crc32Of(const std::string& bytes) {
    return static_cast<uint32_t>(
        crc32(0L, reinterpret_cast<const Bytef*>(bytes.data()), static_cast<uInt>(bytes.size())));
}

std::string EventMessage(const std::string& event, const std::string& contentType,
                         const std::string& payload) {
    std::string headers;
    auto header = [&headers](const std::string& name, const std::string& value) {
        headers.push_back(static_cast<char>(name.size()));
        headers += name;
        headers.push_back(7);
        headers.push_back(static_cast<char>((value.size() >> 8) & 0xff));
        headers.push_back(static_cast<char>(value.size() & 0xff));
        headers += value;
    };
    header(":message-type", "event");
    header(":event-type", event);
    if (!contentType.empty()) header(":content-type", contentType);
    std::string msg;
    PutBe32(&msg, static_cast<uint32_t>(12 + headers.size() + payload.size() + 4));
    PutBe32(&msg, static_cast<uint32_t>(headers.size()));
    PutBe32(&msg, Crc32Of(msg));
    msg += headers;
    msg += payload;
    PutBe32(&msg, Crc32Of(msg));
    return msg;
}

}  // namespace

// POST /key?select: the whole stored object as one Records message, then Stats and End. The
// expression is not evaluated.
std::optional<Answer> LocalService::Impl::SelectRoutes(Call& c) {
    if (c.method != "POST" || !c.Has("select") || c.key.empty()) return std::nullopt;
    Answer err;
    if (!CheckContentMd5(c, &err)) return err;
    XmlDoc doc(c.body);
    rapidxml::xml_node<>* root = doc.Root("SelectRequest");
    if (!root || Trim(ChildText(root, "Expression")).empty() || ChildText(root, "ExpressionType") != "SQL")
        return Error(c, 400, "MalformedXML", "The XML you provided was not well-formed or did not validate against our published schema.");
    ServiceStore::ObjectPtr obj = store.Get(c.bucket, c.key);
    if (!obj) return Error(c, 404, "NoSuchKey", "The specified key does not exist.");
    const std::string size = std::to_string(obj->data.size());
    Answer a;
    a.Set("Content-Type", "application/octet-stream");
    a.body = EventMessage("Records", "application/octet-stream", obj->data) +
             EventMessage("Stats", "text/xml",
                          "<Stats><BytesScanned>" + size + "</BytesScanned><BytesProcessed>" + size +
                              "</BytesProcessed><BytesReturned>" + size + "</BytesReturned></Stats>") +
             EventMessage("End", "", "");
    return a;
}

}  // namespace zid_local
