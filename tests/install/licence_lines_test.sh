#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Every source file says under which licence it is distributed, near its top.
#   licence_lines_test.sh SOURCE_DIR
set -euo pipefail
cd "$1"
missing=$(find .ci bench cmake data scripts src tests tools CMakeLists.txt -path tests/data -prune -o -type f \
            \( -name '*.cpp' -o -name '*.h' -o -name '*.sh' -o -name '*.ui' -o -name '*.qrc' -o -name '*.svg' \
               -o -name '*.[1-9]' -o -name '*.desktop' -o -name CMakeLists.txt -o -name '*.cmake' -o -perm -u+x \) -print |
          while read -r file; do
            head -n 3 "$file" | grep -q 'SPDX-License-Identifier: GPL-3.0-or-later' || echo "$file"
          done)
[ -z "$missing" ] || { echo "no licence line in:"; echo "$missing"; exit 1; }
