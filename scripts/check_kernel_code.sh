#!/usr/bin/env bash
# Reads the kernels' object code (kernels.cpp.o) as built by one or more
# compilers and prints a Markdown table, one column per build:
#   - packed SIMD, fused multiply-add and AVX-encoded instructions anywhere
#     in the object (register zeroing with xorps/xorpd/pxor of a register
#     with itself is not packed arithmetic and is not counted);
#   - the matrix multiply's innermost loop: its scalar mulsd and addsd, and
#     its instructions per element (a load, mulsd, addsd with the second
#     load, a store and the loop's step, compare and branch: 7 at most);
#   - the integer mixing loop: its instructions against the 12 a mixing step
#     needs (three copy/shift/xor triples, two imul, one add of the step
#     index) plus 3 for the loop itself (counter, compare, branch).
#   - the matrix product's loop order: its inner loop steps through memory
#     one double at a time (i, p, j: along rows of b and c), or by a whole
#     row (i, j, p: down a column of b), which gives the same bits slower;
#   - where the matrix product's inner loop lies: inside one 64-byte block
#     of code wherever the object is linked, or not.
# With --strict it exits 1 when a build uses packed, fused or AVX
# instructions, when either kernel loop is not the plain scalar chain, when
# the matrix loop spends more than 7 instructions on an element, when it
# does not walk along rows, or when it may straddle two 64-byte blocks.
#
# usage: check_kernel_code.sh [--strict] OBJECT LABEL [OBJECT LABEL ...]
set -euo pipefail

strict=0
if [[ ${1:-} == --strict ]]; then
  strict=1
  shift
fi
if (( $# < 2 || $# % 2 != 0 )); then
  echo "usage: $0 [--strict] OBJECT LABEL [OBJECT LABEL ...]" >&2
  exit 2
fi

# Prints key=value lines describing one object file.
analyse() {
  # The code section's alignment, "2**N": where the linker may put it.
  objdump -h "$1" | awk '$2 == ".text" { sub(/^2\*\*/, "", $7); print "text_align=" 2 ^ $7 }'
  objdump -d --no-show-raw-insn -C "$1" | awk '
    # mawk has no strtonum: hexadecimal by hand.
    function hex(text,   i, value) {
      value = 0
      text = tolower(text)
      for (i = 1; i <= length(text); i++) value = value * 16 + index("0123456789abcdef", substr(text, i, 1)) - 1
      return value
    }
    function flush_function(   i, j, t, start, inner, k, m, n, count, hist, key, keys) {
      if (fn == "") return
      # Innermost loops: a backward branch whose range holds no other one.
      for (i = 1; i <= n_insn; i++) {
        if (mn[i] !~ /^j/ || op[i] !~ /^[0-9a-f]+ </) continue
        split(op[i], parts, " ")
        t = hex(parts[1])
        if (t >= addr[i]) continue
        start = 0
        for (j = 1; j <= i; j++) if (addr[j] == t) { start = j; break }
        if (start == 0) continue
        inner = 1
        for (j = start; j < i; j++) {
          if (mn[j] ~ /^j/ && op[j] ~ /^[0-9a-f]+ </) {
            split(op[j], p2, " ")
            if (hex(p2[1]) < addr[j] && hex(p2[1]) >= t) inner = 0
          }
        }
        if (!inner) continue
        count = i - start + 1
        delete hist
        for (k = start; k <= i; k++) hist[mn[k]]++
        if (fn ~ /int_mix_iteration/ && hist["imul"] > 0) {
          print "int_loop_insns=" count
          print "int_loop_imul=" hist["imul"]
          print "int_loop_shr=" hist["shr"] + 0
          print "int_loop_xor=" hist["xor"] + 0
          keys = ""
          for (key in hist) keys = keys key " " hist[key] ", "
          print "int_loop_mix=" keys
        }
        if (fn ~ /matrix_iteration/ && hist["mulsd"] > 0) {
          # How far each pass moves the addresses the loop reads and writes,
          # in bytes per element: a register stepped by an immediate, times
          # the scale it addresses memory with, over the elements a pass
          # does. One double (8) walks along rows, the i-p-j order; a whole
          # row (512) walks down a column of b, the i-j-p order.
          delete step
          delete scale
          for (k = start; k <= i; k++) {
            if (mn[k] == "add" && op[k] ~ /^\$0x[0-9a-f]+,%r/) {
              split(op[k], p3, ",")
              step[p3[2]] = hex(substr(p3[1], 4))
            }
            if (match(op[k], /\(%[a-z0-9]+(,%[a-z0-9]+,[1248])?\)/)) {
              split(substr(op[k], RSTART + 1, RLENGTH - 2), p4, ",")
              if (!(p4[1] in scale)) scale[p4[1]] = 1
              if (p4[2] != "") scale[p4[2]] = p4[3]
            }
          }
          steps = ""
          for (key in step) if (key in scale) steps = steps step[key] * scale[key] / hist["mulsd"] " "
          print "mm_loop_steps=" steps
          print "mm_loop_insns=" count
          print "mm_loop_mulsd=" hist["mulsd"]
          print "mm_loop_addsd=" hist["addsd"] + 0
          print "mm_loop_start=" addr[start]
          print "mm_loop_end=" next_of[addr[i]]
        }
      }
      if (fn ~ /matrix_iteration/) {
        for (i = 1; i <= n_insn; i++) if (mn[i] == "divsd") divs++
        print "mm_divsd=" divs + 0
      }
      fn = ""
      n_insn = 0
    }
    /^[0-9a-f]+ <.*>:$/ {
      flush_function()
      fn = $0
      next
    }
    /^ *[0-9a-f]+:\t/ {
      line = $0
      sub(/^ */, "", line)
      split(line, fields, "\t")
      a = fields[1]; sub(/:$/, "", a)
      # Where each instruction ends: the address of the next one, padding
      # included.
      if (have_previous) next_of[previous] = hex(a)
      previous = hex(a)
      have_previous = 1
      ins = fields[2]
      m = ins; sub(/ .*/, "", m)
      o = ins; if (index(o, " ") > 0) { sub(/^[^ ]* +/, "", o) } else { o = "" }
      if (m == "cs" || m == "data16" || m == "rep" || m == "lock" || m ~ /^nop/ || m == "xchg" && o == "%ax,%ax") {
        if (m != "rep" && m != "lock") next
        m2 = o; sub(/ .*/, "", m2); m = m " " m2
      }
      n_insn++
      addr[n_insn] = hex(a)
      mn[n_insn] = m
      op[n_insn] = o
      # Whole-object checks.
      split(o, regs, ",")
      self_zero = (m ~ /^(xorps|xorpd|pxor)$/ && regs[1] == regs[2])
      if (m ~ /^v/) avx++
      if (m ~ /fmadd|fmsub|fnmadd|fnmsub/) fused++
      if (!self_zero && m !~ /^mov/ && (m ~ /p[sd]$/ || m ~ /^p(add|sub|mul|madd|sll|srl|sra|and|or|xor|shuf|unpck|cmp|max|min)/)) {
        packed++
        packed_names[m]++
      }
      next
    }
    END {
      flush_function()
      print "avx=" avx + 0
      print "fused=" fused + 0
      print "packed=" packed + 0
      for (name in packed_names) packed_list = packed_list name " "
      print "packed_list=" packed_list
    }'
}

declare -a labels=() results=()
while (( $# > 0 )); do
  results+=("$(analyse "$1")")
  labels+=("$2")
  shift 2
done

value() {  # value RESULT KEY
  sed -n "s/^$2=//p" <<<"$1" | head -n1
}

row() {  # row TITLE FUNCTION
  local line="| $1 |"
  for result in "${results[@]}"; do
    line+=" $("$2" "$result") |"
  done
  echo "$line"
}

cell_simd() {
  local packed avx fused list
  packed=$(value "$1" packed); avx=$(value "$1" avx); fused=$(value "$1" fused)
  list=$(value "$1" packed_list)
  echo "packed ${packed}${list:+ (${list% })}, fused ${fused}, AVX-encoded ${avx}"
}

cell_matrix() {
  local insns mul add
  insns=$(value "$1" mm_loop_insns); mul=$(value "$1" mm_loop_mulsd); add=$(value "$1" mm_loop_addsd)
  if [[ -z $insns ]]; then echo "loop not found"; return; fi
  echo "${mul} mulsd + ${add} addsd in ${insns} instructions (${mul} element(s) per pass)"
}

# The matrix product's inner loop fits one 64-byte block of code wherever the
# object is linked when the section is aligned to 64 and the loop sits
# inside one block of the section.
loop_fits_block() {
  local start end align
  start=$(value "$1" mm_loop_start); end=$(value "$1" mm_loop_end); align=$(value "$1" text_align)
  [[ -n $start && -n $end && -n $align ]] && (( align >= 64 && start / 64 == (end - 1) / 64 ))
}

cell_placement() {
  local start end align
  start=$(value "$1" mm_loop_start); end=$(value "$1" mm_loop_end); align=$(value "$1" text_align)
  if [[ -z $start || -z $end ]]; then echo "loop not found"; return; fi
  local where
  where=$(printf 'bytes 0x%x-0x%x of a section aligned to %d' "$start" "$((end - 1))" "$align")
  if loop_fits_block "$1"; then
    echo "${where}: inside one 64-byte block wherever linked"
  else
    echo "${where}: may straddle two 64-byte blocks, depending on the link"
  fi
}

# The steps, in bytes, by which the matrix loop moves its pointers or index.
cell_order() {
  local steps
  steps=$(value "$1" mm_loop_steps)
  if [[ -z ${steps// /} ]]; then echo "no step found"; return; fi
  steps=${steps% }
  steps=${steps// /, }
  if loop_walks_rows "$1"; then
    echo "${steps} bytes an element: along rows of b and c (i, p, j)"
  else
    echo "${steps} bytes an element: not along rows alone (not the i, p, j order)"
  fi
}

# Every step of the matrix loop is one double: it walks along rows.
loop_walks_rows() {
  local steps step
  steps=$(value "$1" mm_loop_steps)
  [[ -n ${steps// /} ]] || return 1
  for step in $steps; do
    (( step == 8 )) || return 1
  done
}

cell_divide() {
  local divs
  divs=$(value "$1" mm_divsd)
  if (( divs > 0 )); then
    echo "${divs} divsd: the fill divides, as written"
  else
    echo "no divsd: the fill's divisions were replaced"
  fi
}

cell_int() {
  local insns imul steps extra
  insns=$(value "$1" int_loop_insns); imul=$(value "$1" int_loop_imul)
  if [[ -z $insns ]]; then echo "loop not found"; return; fi
  steps=$(( imul / 2 ))
  extra=$(( insns - 12 * steps - 3 ))
  echo "${insns} instructions for ${steps} step(s); ${extra} beyond the steps' and loop's own"
}

cell_int_mix() {
  local mix
  mix=$(value "$1" int_loop_mix)
  echo "${mix%, }"
}

header="| Kernel object code |"
rule="|---|"
for label in "${labels[@]}"; do
  header+=" ${label} |"
  rule+="---|"
done
echo "$header"
echo "$rule"
row "Packed SIMD, fused and AVX instructions in kernels.cpp.o" cell_simd
row "Matrix multiply, innermost loop" cell_matrix
row "Matrix multiply, inner loop order" cell_order
row "Matrix multiply, inner loop placement" cell_placement
row "Matrix fill" cell_divide
row "Integer mixing, innermost loop" cell_int
row "Integer mixing loop, instruction mix" cell_int_mix

if (( strict )); then
  for result in "${results[@]}"; do
    imul=$(value "$result" int_loop_imul)
    if (( $(value "$result" packed) + $(value "$result" avx) + $(value "$result" fused) > 0 )) ||
       [[ -z $(value "$result" mm_loop_mulsd) || -z $imul ]] ||
       (( $(value "$result" mm_loop_mulsd) != $(value "$result" mm_loop_addsd) )) ||
       (( $(value "$result" mm_loop_insns) > 7 * $(value "$result" mm_loop_mulsd) )) ||
       ! loop_fits_block "$result" || ! loop_walks_rows "$result" ||
       (( $(value "$result" int_loop_shr) * 2 != imul * 3 )) ||
       (( $(value "$result" int_loop_xor) * 2 != imul * 3 )); then
      echo "kernel object code is not the plain scalar form, or its matrix loop is longer than" \
        "7 instructions an element, does not walk along rows (i, p, j) or may straddle two" \
        "64-byte blocks" >&2
      exit 1
    fi
  done
fi
