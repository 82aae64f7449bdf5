#!/usr/bin/env bash
# Every include under src/ points down the layers, lowest first:
#   trsf -> util (with ClientSettings, ZidConfig) -> model -> request -> response -> op -> facade
# A file may include its own layer or a lower one. Prints each include that points up and
# fails if there is any. Usage: check_layers.sh SRC_DIR
set -uo pipefail

src=${1:?usage: check_layers.sh SRC_DIR}
src=${src%/}
if [[ ! -d $src ]]; then
    echo "no such folder: $src" >&2
    exit 2
fi

# Layer of a path under src/; "leaf" for what every layer may include, "" for no layer.
layer_of() {
    case $1 in
        ZidExport.h | ZidVersion.h | ZidVersion.h.in) echo leaf ;;
        trsf/*) echo 0 ;;
        util/* | ClientSettings.* | ZidConfig.*) echo 1 ;;
        model/*) echo 2 ;;
        request/*) echo 3 ;;
        response/*) echo 4 ;;
        op/*) echo 5 ;;
        ZidAPI*.* | AsyncTask.* | FacadeForward.h) echo 6 ;;
        *) echo "" ;;
    esac
}
names=(trsf util model request response op facade)

bad=0
while IFS= read -r -d '' file; do
    rel=${file#"$src"/}
    own=$(layer_of "$rel")
    if [[ -z $own ]]; then
        echo "$rel: in no layer; place its folder in tests/layers/check_layers.sh"
        bad=1
        continue
    fi
    [[ $own == leaf ]] && own=0
    dir=$(dirname "$rel")
    lineno=0
    while IFS= read -r line; do
        lineno=$((lineno + 1))
        [[ $line =~ ^[[:space:]]*#[[:space:]]*include[[:space:]]*[\"\<]([^\"\>]+)[\"\>] ]] || continue
        inc=${BASH_REMATCH[1]}
        # Installed headers write "zid/<path under src>", internal files the bare path; a
        # name beside the including file resolves there first.
        if [[ $inc == zid/* ]]; then
            target=${inc#zid/}
        elif [[ $dir != . && -f $src/$dir/$inc ]]; then
            target=$dir/$inc
        elif [[ -f $src/$inc || $inc == ZidVersion.h ]]; then
            target=$inc
        else
            continue  # a system or third-party header
        fi
        theirs=$(layer_of "$target")
        [[ -z $theirs || $theirs == leaf ]] && continue
        if ((theirs > own)); then
            echo "$rel:$lineno: includes \"$inc\" (${names[theirs]}, above ${names[own]})"
            bad=1
        fi
    done <"$file"
done < <(find "$src" -type f \( -name '*.h' -o -name '*.cpp' -o -name '*.h.in' \) -print0 | sort -z)

if ((bad)); then
    echo "includes that point up the layers: see above"
    exit 1
fi
echo "every include under $src points down the layers"
