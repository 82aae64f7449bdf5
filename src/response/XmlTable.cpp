#include "response/XmlTable.h"

namespace zuzezi_zid {
namespace xml {

bool ReadDocument(const std::string& body, const char* root_name, const char* miss_root_fmt,
                  const LogSite& site, const RootReader& read) {
    XmlBodyReader reader(body);
    const Node* root = reader.FindRoot(body, root_name, "Parse string to xml doc error, xml_body=%s",
                                       miss_root_fmt, site);
    return root && read(root, Walk{body, site});
}

}  // namespace xml
}  // namespace zuzezi_zid
