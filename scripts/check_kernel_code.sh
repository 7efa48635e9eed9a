#!/usr/bin/env bash
# Reads the kernels' object code (kernels.cpp.o) as built by one or more
# compilers, for x86-64 or AArch64 (told apart by the object's header), and
# prints a Markdown table, one column per build:
#   - packed SIMD (on AArch64: any vector arithmetic), fused multiply-add and
#     AVX-encoded instructions anywhere in the object (register zeroing with
#     xorps/xorpd/pxor of a register with itself is not packed arithmetic
#     and is not counted, nor are vector moves, loads and stores on AArch64);
#   - the matrix multiply's innermost loop: its scalar multiplications and
#     additions (mulsd and addsd, fmul and fadd), the elements it does a pass,
#     and its instructions per element (a load, mulsd, addsd with the second
#     load, a store and the loop's step, compare and branch: 7 at most; 8 on
#     AArch64, whose fadd reads no memory);
#   - the integer mixing loop: its instructions against the 12 a mixing step
#     needs on x86-64 (three copy/shift/xor triples, two imul, one add of the
#     step index), 6 on AArch64 (three eor with a shifted operand, two mul,
#     one add), plus 3 for the loop itself (counter, compare, branch);
#   - the matrix product's loop order: its inner loop steps through memory
#     one double at a time (i, p, j: along rows of b and c), or by a whole
#     row (i, j, p: down a column of b), which gives the same bits slower;
#   - where the matrix product's inner loop lies: inside one 64-byte block
#     of code wherever the object is linked, or not.
# With --strict it exits 1 when a build uses packed, vector, fused or AVX
# instructions, when either kernel loop is not the plain scalar chain, when
# the matrix loop spends more than 7 (AArch64: 8) instructions on an element, when it
# does not walk along rows, or when it may straddle two 64-byte blocks; and
# when two builds for one architecture (GCC's and Clang's) differ in a
# loop's shape: elements or steps a pass, or the multiplications, additions,
# shifts and exclusive-ors a pass.
# The disassembler is objdump for x86-64 objects and aarch64-linux-gnu-objdump
# (or objdump, on an Arm machine) for AArch64 ones; OBJDUMP overrides both.
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

# The machine of an object, as ELF numbers it: 62 is x86-64, 183 AArch64.
# A COFF object (MinGW's) starts with its machine: 0x8664 x86-64, 0xAA64 ARM64.
elf_machine() {
  if [[ $(od -An -c -N4 "$1" | tr -d ' ') == '177ELF' ]]; then
    od -An -tu2 -j18 -N2 "$1" | tr -d ' '
  else
    case $(od -An -tu2 -N2 "$1" | tr -d ' ') in
      34404) echo 62 ;;
      43620) echo 183 ;;
      *) echo unknown ;;
    esac
  fi
}

# The disassembler for an ELF machine.
objdump_for() {
  if [[ -n ${OBJDUMP:-} ]]; then
    echo "$OBJDUMP"
  elif [[ $1 == 183 && $(uname -m) != aarch64 ]]; then
    echo aarch64-linux-gnu-objdump
  else
    echo objdump
  fi
}

# What the analysis looks for on each architecture. Entries ending in _re are
# awk regular expressions (an empty one matches nothing), matched against a
# mnemonic, or, for vector_re and shifted_xor_re, against the operands; they
# hold no backslash, since awk -v reads escapes in what it is given.
#   mul, add, div: the scalar double multiply, add and divide;
#   int_mul, int_xor: the integer multiply and exclusive-or; shift_re: a
#     shift, and shifted_xor_re: an exclusive-or that also shifts one of its
#     operands (AArch64's eor x0, x1, x2, lsr #33), which counts as a shift;
#   branch_re: an instruction that may branch to an address (x86-64's jumps;
#     on AArch64 any instruction whose operands name one: b.cond, cbz, cbnz,
#     tbz, tbnz);
#   avx_re: AVX-encoded; fused_re: fused multiply-add of any form;
#   packed_re: packed SIMD arithmetic by its mnemonic, and vector_re: any
#     arithmetic on vector (v0.2d) or scalable (z0.d) registers; neither
#     counts what not_packed_re matches (moves, and on AArch64 loads and
#     stores of vector registers), nor zeroing_re of a register with itself
#     (xorps/xorpd/pxor), which zeroes it and is not packed arithmetic;
#   simd: the report's word for such instructions;
#   element_insns: the instructions the matrix loop may spend on an element
#     (load, multiply, add with the second load, store, and the loop's step,
#     compare and branch): one more on AArch64, whose fadd reads no memory,
#     so the second load is an instruction of its own;
#   step_insns: the instructions a mixing step needs, beyond the loop's own
#     3: three copy/shift/xor triples, two imul and one add of the step
#     index on x86-64; three eor with a shifted operand, two mul and one add
#     on AArch64.
declare -A table_x86_64=(
  [mul]=mulsd [add]=addsd [div]=divsd
  [int_mul]=imul [int_xor]=xor [shift_re]='^shr$' [shifted_xor_re]=''
  [branch_re]='^j'
  [avx_re]='^v' [fused_re]='fmadd|fmsub|fnmadd|fnmsub'
  [packed_re]='p[sd]$|^p(add|sub|mul|madd|sll|srl|sra|and|or|xor|shuf|unpck|cmp|max|min)'
  [vector_re]='' [not_packed_re]='^mov' [zeroing_re]='^(xorps|xorpd|pxor)$'
  [simd]=packed [element_insns]=7 [step_insns]=12
)
declare -A table_aarch64=(
  [mul]=fmul [add]=fadd [div]=fdiv
  [int_mul]=mul [int_xor]=eor [shift_re]='^(lsr|asr|lsl)$' [shifted_xor_re]=', lsr #'
  [branch_re]='.'
  [avx_re]='' [fused_re]='^(fmadd|fmsub|fnmadd|fnmsub|fmla|fmls)'
  [packed_re]='' [vector_re]='(^|[ ,{])[vz][0-9]+[.][0-9]*[bhsdq]'
  [not_packed_re]='^(mov|movi|dup|ins|umov|smov|ld|st)' [zeroing_re]=''
  [simd]=vector [element_insns]=8 [step_insns]=6
)

# Prints key=value lines describing one object file.
analyse() {
  local machine tool arch key
  machine=$(elf_machine "$1")
  tool=$(objdump_for "$machine")
  command -v "$tool" >/dev/null || { echo "$tool is not installed" >&2; exit 2; }
  # The code section's alignment, "2**N": where the linker may put it.
  "$tool" -h "$1" | awk '$2 == ".text" { sub(/^2\*\*/, "", $7); print "text_align=" 2 ^ $7 }'
  case $machine in
    62) arch=x86_64 ;;
    183) arch=aarch64 ;;
    *) echo "$1: ELF machine ${machine} is neither x86-64 nor AArch64" >&2; exit 2 ;;
  esac
  echo "arch=$arch"
  local -n mnemonics=table_$arch
  local -a settings=(-v "arch=$arch")
  for key in "${!mnemonics[@]}"; do
    settings+=(-v "$key=${mnemonics[$key]}")
  done
  "$tool" -d --no-show-raw-insn -C "$1" | awk "${settings[@]}" '
    # mawk has no strtonum: hexadecimal by hand.
    function hex(text,   i, value) {
      value = 0
      text = tolower(text)
      for (i = 1; i <= length(text); i++) value = value * 16 + index("0123456789abcdef", substr(text, i, 1)) - 1
      return value
    }
    # Whether text matches the expression re; an empty one matches nothing.
    function is(text, re) {
      return re != "" && text ~ re
    }
    # The target of instruction k if it branches, or -1: the address before
    # " <symbol+offset>".
    function target_of(k,   where) {
      if (!is(mn[k], branch_re) || !match(op[k], /(^|, )[0-9a-f]+ </)) return -1
      where = substr(op[k], RSTART, RLENGTH - 2)
      sub(/^, /, "", where)
      return hex(where)
    }
    # Registers stepped by an immediate (add $imm, %reg) in instructions
    # first to last, and the scale each addresses memory with: 1 as a base,
    # or the scale it is an index with, (%base,%index,8).
    function steps_x86_64(first, last,   k, parts) {
      for (k = first; k <= last; k++) {
        if (mn[k] == "add" && op[k] ~ /^\$0x[0-9a-f]+,%r/) {
          split(op[k], parts, ",")
          step[parts[2]] = hex(substr(parts[1], 4))
        }
        if (match(op[k], /\(%[a-z0-9]+(,%[a-z0-9]+,[1248])?\)/)) {
          split(substr(op[k], RSTART + 1, RLENGTH - 2), parts, ",")
          if (!(parts[1] in scale)) scale[parts[1]] = 1
          if (parts[2] != "") scale[parts[2]] = parts[3]
        }
      }
    }
    # Registers stepped by an immediate (add Xn, Xn, #imm, or a post-indexed
    # address) in instructions first to last, and the scale each addresses
    # memory with: directly ([Xn], [Xb, Xn, lsl #3]) or through a register
    # sum (add Xd, Xb, Xn, then [Xd, #offset]).
    function steps_aarch64(first, last,   k, parts, memory, inside, base, index_reg, shift) {
      delete summed
      for (k = first; k <= last; k++) {
        split(op[k], parts, /, */)
        if (mn[k] == "add" && parts[1] == parts[2] && parts[3] ~ /^#0x[0-9a-f]+$/)
          step[parts[1]] = hex(substr(parts[3], 4))
        if (mn[k] == "add" && parts[3] ~ /^[xw][0-9]+$/) {
          summed[parts[1]] = parts[2] " " parts[3]
        }
      }
      for (k = first; k <= last; k++) {
        if (!match(op[k], /\[[^]]*\](, #0x[0-9a-f]+)?/)) continue
        memory = substr(op[k], RSTART, RLENGTH)
        if (match(memory, /\], #0x[0-9a-f]+$/)) {
          split(substr(memory, 2), parts, /\]/)
          step[parts[1]] = hex(substr(memory, RSTART + 5))
        }
        inside = memory
        sub(/^\[/, "", inside)
        sub(/\].*$/, "", inside)
        split(inside, parts, /, */)
        base = parts[1]
        index_reg = (parts[2] ~ /^[xw][0-9]+$/) ? parts[2] : ""
        shift = (parts[3] ~ /^lsl #[0-9]+$/) ? 2 ^ substr(parts[3], 6) : 1
        scale[base] = 1
        if (index_reg != "") scale[index_reg] = shift
        if (base in summed) {
          split(summed[base], parts, " ")
          scale[parts[1]] = 1
          scale[parts[2]] = 1
        }
      }
    }
    function flush_function(   i, j, t, start, inner, k, count, hist, shifts, key, keys) {
      if (fn == "") return
      # Innermost loops: a backward branch whose range holds no other one.
      for (i = 1; i <= n_insn; i++) {
        t = target_of(i)
        if (t < 0 || t >= addr[i]) continue
        start = 0
        for (j = 1; j <= i; j++) if (addr[j] == t) { start = j; break }
        if (start == 0) continue
        inner = 1
        for (j = start; j < i; j++) {
          k = target_of(j)
          if (k >= t && k < addr[j]) inner = 0
        }
        if (!inner) continue
        count = i - start + 1
        delete hist
        shifts = 0
        for (k = start; k <= i; k++) {
          hist[mn[k]]++
          if (is(mn[k], shift_re) || mn[k] == int_xor && is(op[k], shifted_xor_re)) shifts++
        }
        if (fn ~ /int_mix_iteration/ && hist[int_mul] > 0) {
          print "int_loop_insns=" count
          print "int_loop_mul=" hist[int_mul]
          print "int_loop_shift=" shifts
          print "int_loop_xor=" hist[int_xor] + 0
          keys = ""
          for (key in hist) keys = keys key " " hist[key] ", "
          print "int_loop_mix=" keys
        }
        if (fn ~ /matrix_iteration/ && hist[mul] > 0) {
          # How far each pass moves the addresses the loop reads and writes,
          # in bytes per element: a register stepped by an immediate, times
          # the scale it addresses memory with, over the elements a pass
          # does. One double (8) walks along rows, the i-p-j order; a whole
          # row (512) walks down a column of b, the i-j-p order.
          delete step
          delete scale
          if (arch == "aarch64") steps_aarch64(start, i)
          else steps_x86_64(start, i)
          steps = ""
          for (key in step) if (key in scale) steps = steps step[key] * scale[key] / hist[mul] " "
          print "mm_loop_steps=" steps
          print "mm_loop_insns=" count
          print "mm_loop_mul=" hist[mul]
          print "mm_loop_add=" hist[add] + 0
          print "mm_loop_start=" addr[start]
          print "mm_loop_end=" next_of[addr[i]]
        }
      }
      if (fn ~ /matrix_iteration/) {
        for (i = 1; i <= n_insn; i++) if (mn[i] == div) divs++
        print "mm_div=" divs + 0
      }
      fn = ""
      n_insn = 0
    }
    # An x86-64 instruction, fields[2]: "mnemonic operands". Padding (nop,
    # and cs, data16 or xchg %ax,%ax before one) is no instruction; rep and
    # lock join the mnemonic they precede. Returns 0 for padding.
    function read_x86_64(   text, prefixed) {
      # Where each instruction ends: the address of the next one, padding
      # included.
      if (have_previous) next_of[previous] = hex(a)
      previous = hex(a)
      have_previous = 1
      text = fields[2]
      m = text; sub(/ .*/, "", m)
      o = text; if (index(o, " ") > 0) { sub(/^[^ ]* +/, "", o) } else { o = "" }
      if (m == "cs" || m == "data16" || m == "rep" || m == "lock" || m ~ /^nop/ || m == "xchg" && o == "%ax,%ax") {
        if (m != "rep" && m != "lock") return 0
        prefixed = o; sub(/ .*/, "", prefixed); m = m " " prefixed
      }
      return 1
    }
    # An AArch64 instruction: mnemonic and operands in fields of their own,
    # four bytes each. Returns 0 for padding (nop).
    function read_aarch64() {
      m = fields[2]
      o = fields[3]
      next_of[hex(a)] = hex(a) + 4
      return m != "nop" && m != ""
    }
    /^[0-9a-f]+ <.*>:$/ {
      flush_function()
      fn = $0
      next
    }
    /^ *[0-9a-f]+:\t/ {
      line = $0
      sub(/^ */, "", line)
      # The AArch64 disassembler notes values after "//".
      if (arch == "aarch64") sub(/[ \t]*\/\/.*$/, "", line)
      split(line, fields, "\t")
      a = fields[1]; sub(/:$/, "", a)
      if (!(arch == "aarch64" ? read_aarch64() : read_x86_64())) next
      n_insn++
      addr[n_insn] = hex(a)
      mn[n_insn] = m
      op[n_insn] = o
      # Whole-object checks.
      split(o, regs, ",")
      if (is(m, avx_re)) avx++
      if (is(m, fused_re)) fused++
      if (!(is(m, zeroing_re) && regs[1] == regs[2]) && !is(m, not_packed_re) && (is(m, packed_re) || is(o, vector_re))) {
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

entry() {  # entry RESULT KEY: the table's entry for the build's architecture
  local -n mnemonics=table_$(value "$1" arch)
  echo "${mnemonics[$2]}"
}

cell_simd() {
  local packed avx fused list cell
  packed=$(value "$1" packed); avx=$(value "$1" avx); fused=$(value "$1" fused)
  list=$(value "$1" packed_list)
  cell="$(entry "$1" simd) ${packed}${list:+ (${list% })}, fused ${fused}"
  # AArch64 has no AVX encoding to count.
  [[ -z $(entry "$1" avx_re) ]] || cell+=", AVX-encoded ${avx}"
  echo "$cell"
}

cell_matrix() {
  local insns mul add
  insns=$(value "$1" mm_loop_insns); mul=$(value "$1" mm_loop_mul); add=$(value "$1" mm_loop_add)
  if [[ -z $insns ]]; then echo "loop not found"; return; fi
  echo "${mul} $(entry "$1" mul) + ${add} $(entry "$1" add) in ${insns} instructions (${mul} element(s) per pass)"
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
  divs=$(value "$1" mm_div)
  if (( divs > 0 )); then
    echo "${divs} $(entry "$1" div): the fill divides, as written"
  else
    echo "no $(entry "$1" div): the fill's divisions were replaced"
  fi
}

cell_int() {
  local insns mul steps extra
  insns=$(value "$1" int_loop_insns); mul=$(value "$1" int_loop_mul)
  if [[ -z $insns ]]; then echo "loop not found"; return; fi
  steps=$(( mul / 2 ))
  extra=$(( insns - $(entry "$1" step_insns) * steps - 3 ))
  echo "${insns} instructions for ${steps} step(s); ${extra} beyond the steps' and loop's own"
}

cell_int_mix() {
  local mix
  mix=$(value "$1" int_loop_mix)
  echo "${mix%, }"
}

# A loop's shape: what a pass does, in the arithmetic that a compiler must
# not change: "arch matrix: M mul, A add; integer: M mul, S shift, X xor".
shape_of() {
  echo "$(value "$1" arch) matrix: $(value "$1" mm_loop_mul) mul, $(value "$1" mm_loop_add) add;" \
    "integer: $(value "$1" int_loop_mul) mul, $(value "$1" int_loop_shift) shift," \
    "$(value "$1" int_loop_xor) xor"
}

cell_shape() {
  local first="" result
  for result in "${results[@]}"; do
    if [[ $(value "$result" arch) == $(value "$1" arch) ]]; then
      first=$result
      break
    fi
  done
  if [[ $(shape_of "$1") == $(shape_of "$first") ]]; then
    echo "same as every build for $(value "$1" arch)"
  else
    echo "differs from the first build for $(value "$1" arch): $(shape_of "$1" | cut -d' ' -f2-)"
  fi
}

header="| Kernel object code |"
rule="|---|"
for label in "${labels[@]}"; do
  header+=" ${label} |"
  rule+="---|"
done
echo "$header"
echo "$rule"
row "Packed SIMD (AArch64: vector), fused and AVX instructions in kernels.cpp.o" cell_simd
row "Matrix multiply, innermost loop" cell_matrix
row "Matrix multiply, inner loop order" cell_order
row "Matrix multiply, inner loop placement" cell_placement
row "Matrix fill" cell_divide
row "Integer mixing, innermost loop" cell_int
row "Integer mixing loop, instruction mix" cell_int_mix
row "Loop shapes against the other builds" cell_shape

if (( strict )); then
  for result in "${results[@]}"; do
    mul=$(value "$result" int_loop_mul)
    if (( $(value "$result" packed) + $(value "$result" avx) + $(value "$result" fused) > 0 )) ||
       [[ -z $(value "$result" mm_loop_mul) || -z $mul ]] ||
       (( $(value "$result" mm_loop_mul) != $(value "$result" mm_loop_add) )) ||
       (( $(value "$result" mm_loop_insns) > $(entry "$result" element_insns) * $(value "$result" mm_loop_mul) )) ||
       ! loop_fits_block "$result" || ! loop_walks_rows "$result" ||
       (( $(value "$result" int_loop_shift) * 2 != mul * 3 )) ||
       (( $(value "$result" int_loop_xor) * 2 != mul * 3 )); then
      echo "kernel object code is not the plain scalar form, or its matrix loop is longer than" \
        "$(entry "$result" element_insns) instructions an element, does not walk along rows (i, p, j) or may straddle two" \
        "64-byte blocks" >&2
      exit 1
    fi
  done
  for (( i = 1; i < ${#results[@]}; i++ )); do
    for (( j = 0; j < i; j++ )); do
      [[ $(value "${results[i]}" arch) == $(value "${results[j]}" arch) ]] || continue
      if [[ $(shape_of "${results[i]}") != $(shape_of "${results[j]}") ]]; then
        echo "the kernels' loops differ in shape between ${labels[j]} ($(shape_of "${results[j]}"))" \
          "and ${labels[i]} ($(shape_of "${results[i]}"))" >&2
        exit 1
      fi
    done
  done
fi
