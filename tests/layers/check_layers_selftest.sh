#!/usr/bin/env bash
# The layer check on a small tree: it must name exactly the includes that point up, and pass
# the same tree once they are gone. Usage: check_layers_selftest.sh CHECK_SCRIPT
set -euo pipefail
check=${1:?usage: check_layers_selftest.sh CHECK_SCRIPT}
tree=$(mktemp -d)
trap 'rm -rf "$tree"' EXIT
mkdir -p "$tree"/{trsf,util,model,request,response,op}

printf '#include "zid/ZidExport.h"\n' >"$tree/trsf/State.h"
printf '#include "zid/op/Result.h"\n' >>"$tree/trsf/State.h"
printf '#include "trsf/State.h"\n\n#include <vector>\n#include "request/Req.h"\n' >"$tree/trsf/State.cpp"
printf '#include "zid/model/Rec.h"\n#include "zid/trsf/State.h"\n' >"$tree/request/Req.h"
printf '#include "Other.h"\n' >"$tree/model/Rec.h"
printf '#include "response/Resp.h"\n' >"$tree/model/Other.h"
printf '#include "ZidVersion.h"\n#include "ClientSettings.h"\n#include "trsf/State.h"\n' >"$tree/util/Log.cpp"
printf '#include <Poco/Net/HTTPClientSession.h>\n' >"$tree/response/Resp.h"
printf '#include "zid/request/Req.h"\n' >"$tree/op/Result.h"
touch "$tree/ClientSettings.h" "$tree/ZidExport.h"

set +e
out=$(bash "$check" "$tree")
rc=$?
set -e
expected='model/Other.h:1: includes "response/Resp.h" (response, above model)
trsf/State.cpp:4: includes "request/Req.h" (request, above trsf)
trsf/State.h:2: includes "zid/op/Result.h" (op, above trsf)
includes that point up the layers: see above'
if [[ $rc -ne 1 || $out != "$expected" ]]; then
    printf 'upward includes: exit %s, printed:\n%s\nexpected exit 1 and:\n%s\n' "$rc" "$out" "$expected"
    exit 1
fi

# A folder outside every layer is named rather than skipped.
mkdir "$tree/extra" && touch "$tree/extra/New.h"
if out=$(bash "$check" "$tree") || [[ $out != *"extra/New.h: in no layer"* ]]; then
    printf 'a file in no layer went unnamed:\n%s\n' "$out"
    exit 1
fi
rm -r "$tree/extra"

sed -i '2d' "$tree/trsf/State.h"
sed -i '4d' "$tree/trsf/State.cpp"
printf '#include <Poco/Net/HTTPClientSession.h>\n' >"$tree/model/Other.h"
if ! out=$(bash "$check" "$tree"); then
    printf 'a tree whose includes all point down failed:\n%s\n' "$out"
    exit 1
fi
echo "the layer check names each upward include and passes a clean tree"
