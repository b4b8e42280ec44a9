#!/usr/bin/env bash
# Checks the dynamic symbols of libmvx.so against the interface list:
# nothing outside the list is exported, and every listed name is exported
# unless it is still listed as pending (a part of the library not built yet).
set -u
lib=$1 list=$2 pending=$3
exported=$(nm -D --defined-only "$lib" | awk '{print $NF}' | grep -v -E '^(_init|_fini|_edata|_end|__bss_start)$' | sort -u)
wanted=$(grep -v '^#' "$list" | sed '/^$/d' | sort -u)
waiting=$(grep -v '^#' "$pending" | sed '/^$/d' | sort -u)
status=0
extra=$(comm -23 <(echo "$exported") <(echo "$wanted"))
if [ -n "$extra" ]; then echo "exported but not in the interface list:"; echo "$extra"; status=1; fi
missing=$(comm -23 <(comm -23 <(echo "$wanted") <(echo "$exported")) <(echo "$waiting"))
if [ -n "$missing" ]; then echo "in the interface list but neither exported nor pending:"; echo "$missing"; status=1; fi
stale=$(comm -12 <(echo "$exported") <(echo "$waiting"))
if [ -n "$stale" ]; then echo "exported but still listed as pending:"; echo "$stale"; status=1; fi
echo "$(echo "$exported" | wc -l) names exported, $(echo "$waiting" | wc -l) pending"
exit $status
