#include "util/RequestHead.h"

namespace zuzezi_zid {

std::string RequestHeadText(const Poco::Net::HTTPRequest& request) {
    std::string head;
    head.reserve(512);
    head.append(request.getMethod())
        .append(" ")
        .append(request.getURI())
        .append(" ")
        .append(request.getVersion())
        .append("\r\n");
    for (const auto& field : request) {
        head.append(field.first).append(": ").append(field.second).append("\r\n");
    }
    head.append("\r\n");
    return head;
}

}  // namespace zuzezi_zid
