#!/bin/bash
# run.sh - the state record's ownership rule (state.h): each record of `g` is written only
# by the subsystem file that owns it; other files call its operations. Fails naming every
# line of library/ that assigns, increments, takes the address of, or binds a non-const
# reference to another subsystem's record. Usage: run.sh <source dir>
set -u
lib=$1/library

# The owner of each record of LibraryState. A record added to state.h needs its line here.
declare -A owner=([windows]=windows.cpp [events]=event_wait.cpp [input]=input.cpp [run_menu]=run_menu.cpp
                  [scripts]=scripts.cpp [text_log]=text_log.cpp [drawing]=drawing.cpp
                  [capture]=capture.cpp)

# Lines of standard input (comments dropped) that write record $1, as "number:text".
writes() {
    local r="g\\.$1" path='(\.[A-Za-z_][A-Za-z0-9_]*|\[[^]]*\])*' end='([^A-Za-z0-9_]|$)'
    local assign="$r$path[[:space:]]*([-+*/%&|^]|<<|>>)?=([^=]|$)"
    local step="(\+\+|--)[[:space:]]*$r$end|$r$path[[:space:]]*(\+\+|--)"
    local address="(^|[^&])&$r$end"
    local ref="&[[:space:]]*[A-Za-z_][A-Za-z0-9_]*[[:space:]]*[=:][[:space:]]*$r$end"
    sed 's://.*$::' | grep -nE "$assign|$step|$address|$ref" |
        grep -vE "^[0-9]+:.*const[[:space:]]+[A-Za-z_:<>]+[[:space:]]*&[[:space:]]*[A-Za-z_][A-Za-z0-9_]*[[:space:]]*[=:][[:space:]]*$r$end[^=]*$"
}

# The matcher itself: these seven lines write a record, the four after them do not.
sample='g.scripts.pending_periodic = 0;
g.scripts.pending_periodic += 2;
++g.input.held[3];
g.input.held[code]--;
InputState& in = g.input;
for (HGLOBAL& b : g.text_log.ring.blocks) {
std::memset(&g.input, 0, 1);
if (g.scripts.pending_periodic == 0 && g.input.flags != 0) x = 1;
const PointerState& p = g.input.pointer;
bool far = g.input.pointer.x <= 3 || g.input.pointer.y >= 3;
// g.input.flags = 0;'
found=0
for record in "${!owner[@]}"; do found=$((found + $(writes "$record" <<<"$sample" | wc -l))); done
if [ "$found" -ne 7 ]; then
    echo "ownership check: the matcher finds $found writes in its sample, not 7"
    exit 1
fi

status=0
records=$(sed -n '/^struct LibraryState {/,/^};/p' "$lib/state.h" | sed -nE 's/^ +[A-Za-z]+ ([a-z_]+);.*/\1/p')
[ -n "$records" ] || { echo "ownership check: no records found in state.h's LibraryState"; exit 1; }
for record in $records; do
    if [ -z "${owner[$record]:-}" ]; then
        echo "ownership check: g.$record has no owner in tests/ownership/run.sh"
        status=1
    fi
done
while IFS= read -r file; do
    name=${file#"$lib/"}
    for record in $records; do
        [ "$name" = "${owner[$record]:-}" ] && continue
        while IFS= read -r hit; do
            [ -n "$hit" ] || continue
            echo "library/$name:${hit%%:*}: writes g.$record, which ${owner[$record]:-nobody} owns; call its operation instead (state.h):"
            echo "    ${hit#*:}"
            status=1
        done < <(writes "$record" <"$file")
    done
done < <(find "$lib" \( -name '*.cpp' -o -name '*.h' \) -exec grep -lE "g\.($(echo $records | tr ' ' '|'))" {} + | sort)
[ $status -eq 0 ] && echo "ownership check: every record of g is written only by its owner"
exit $status
