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

# Prints key=value lines describing one object file.
analyse() {
  local machine tool
  machine=$(elf_machine "$1")
  tool=$(objdump_for "$machine")
  command -v "$tool" >/dev/null || { echo "$tool is not installed" >&2; exit 2; }
  # The code section's alignment, "2**N": where the linker may put it.
  "$tool" -h "$1" | awk '$2 == ".text" { sub(/^2\*\*/, "", $7); print "text_align=" 2 ^ $7 }'
  case $machine in
    62) echo "arch=x86_64"; analyse_x86_64 "$tool" "$1" ;;
    183) echo "arch=aarch64"; analyse_aarch64 "$tool" "$1" ;;
    *) echo "$1: ELF machine ${machine} is neither x86-64 nor AArch64" >&2; exit 2 ;;
  esac
}

analyse_x86_64() {
  "$1" -d --no-show-raw-insn -C "$2" | awk '
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
          print "int_loop_mul=" hist["imul"]
          print "int_loop_shift=" hist["shr"] + 0
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
          print "mm_loop_mul=" hist["mulsd"]
          print "mm_loop_add=" hist["addsd"] + 0
          print "mm_loop_start=" addr[start]
          print "mm_loop_end=" next_of[addr[i]]
        }
      }
      if (fn ~ /matrix_iteration/) {
        for (i = 1; i <= n_insn; i++) if (mn[i] == "divsd") divs++
        print "mm_div=" divs + 0
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

# The AArch64 form: the same keys, from fmul and fadd, mul, eor with a
# shifted operand, and branches of every kind (b.cond, cbz, cbnz, tbz, tbnz).
analyse_aarch64() {
  "$1" -d --no-show-raw-insn -C "$2" | awk '
    function hex(text,   i, value) {
      value = 0
      text = tolower(text)
      for (i = 1; i <= length(text); i++) value = value * 16 + index("0123456789abcdef", substr(text, i, 1)) - 1
      return value
    }
    # The target of a branch, or -1: the address before " <symbol+offset>".
    function target_of(operands,   where) {
      if (!match(operands, /(^|, )[0-9a-f]+ </)) return -1
      where = substr(operands, RSTART, RLENGTH - 2)
      sub(/^, /, "", where)
      return hex(where)
    }
    function flush_function(   i, j, t, start, inner, k, count, hist, key, keys, reg, parts, base, index_reg, shift) {
      if (fn == "") return
      for (i = 1; i <= n_insn; i++) {
        t = target_of(op[i])
        if (t < 0 || t >= addr[i]) continue
        start = 0
        for (j = 1; j <= i; j++) if (addr[j] == t) { start = j; break }
        if (start == 0) continue
        inner = 1
        for (j = start; j < i; j++) {
          k = target_of(op[j])
          if (k >= t && k < addr[j]) inner = 0
        }
        if (!inner) continue
        count = i - start + 1
        delete hist
        shifts = 0
        for (k = start; k <= i; k++) {
          hist[mn[k]]++
          if (mn[k] ~ /^(lsr|asr|lsl)$/ || mn[k] == "eor" && op[k] ~ /, lsr #/) shifts++
        }
        if (fn ~ /int_mix_iteration/ && hist["mul"] > 0) {
          print "int_loop_insns=" count
          print "int_loop_mul=" hist["mul"]
          print "int_loop_shift=" shifts
          print "int_loop_xor=" hist["eor"] + 0
          keys = ""
          for (key in hist) keys = keys key " " hist[key] ", "
          print "int_loop_mix=" keys
        }
        if (fn ~ /matrix_iteration/ && hist["fmul"] > 0) {
          # Registers stepped by an immediate (add Xn, Xn, #imm, or a
          # post-indexed address), and the scale each addresses memory
          # with: directly ([Xn], [Xb, Xn, lsl #3]) or through a register
          # sum (add Xd, Xb, Xn, then [Xd, #offset]).
          delete step
          delete scale
          delete summed
          for (k = start; k <= i; k++) {
            split(op[k], parts, /, */)
            if (mn[k] == "add" && parts[1] == parts[2] && parts[3] ~ /^#0x[0-9a-f]+$/)
              step[parts[1]] = hex(substr(parts[3], 4))
            if (mn[k] == "add" && parts[3] ~ /^[xw][0-9]+$/) {
              summed[parts[1]] = parts[2] " " parts[3]
            }
          }
          for (k = start; k <= i; k++) {
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
          steps = ""
          for (key in step) if (key in scale) steps = steps step[key] * scale[key] / hist["fmul"] " "
          print "mm_loop_steps=" steps
          print "mm_loop_insns=" count
          print "mm_loop_mul=" hist["fmul"]
          print "mm_loop_add=" hist["fadd"] + 0
          print "mm_loop_start=" addr[start]
          print "mm_loop_end=" addr[i] + 4
        }
      }
      if (fn ~ /matrix_iteration/) {
        for (i = 1; i <= n_insn; i++) if (mn[i] == "fdiv") divs++
        print "mm_div=" divs + 0
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
      sub(/[ \t]*\/\/.*$/, "", line)
      split(line, fields, "\t")
      a = fields[1]; sub(/:$/, "", a)
      m = fields[2]
      o = fields[3]
      if (m == "nop" || m == "") next
      n_insn++
      addr[n_insn] = hex(a)
      mn[n_insn] = m
      op[n_insn] = o
      # Whole-object checks: fused multiply-add of any form, and any
      # arithmetic on vector (v0.2d) or scalable (z0.d) registers; moves,
      # loads and stores of them are not arithmetic.
      if (m ~ /^(fmadd|fmsub|fnmadd|fnmsub|fmla|fmls)/) fused++
      if (o ~ /(^|[ ,{])[vz][0-9]+\.[0-9]*[bhsdq]/ && m !~ /^(mov|movi|dup|ins|umov|smov|ld|st)/) {
        packed++
        packed_names[m]++
      }
      next
    }
    END {
      flush_function()
      print "avx=0"
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

# The names of one build's scalar double multiply, add and divide.
mul_name() { [[ $(value "$1" arch) == aarch64 ]] && echo fmul || echo mulsd; }
add_name() { [[ $(value "$1" arch) == aarch64 ]] && echo fadd || echo addsd; }
div_name() { [[ $(value "$1" arch) == aarch64 ]] && echo fdiv || echo divsd; }

cell_simd() {
  local packed avx fused list
  packed=$(value "$1" packed); avx=$(value "$1" avx); fused=$(value "$1" fused)
  list=$(value "$1" packed_list)
  if [[ $(value "$1" arch) == aarch64 ]]; then
    echo "vector ${packed}${list:+ (${list% })}, fused ${fused}"
  else
    echo "packed ${packed}${list:+ (${list% })}, fused ${fused}, AVX-encoded ${avx}"
  fi
}

cell_matrix() {
  local insns mul add
  insns=$(value "$1" mm_loop_insns); mul=$(value "$1" mm_loop_mul); add=$(value "$1" mm_loop_add)
  if [[ -z $insns ]]; then echo "loop not found"; return; fi
  echo "${mul} $(mul_name "$1") + ${add} $(add_name "$1") in ${insns} instructions (${mul} element(s) per pass)"
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
    echo "${divs} $(div_name "$1"): the fill divides, as written"
  else
    echo "no $(div_name "$1"): the fill's divisions were replaced"
  fi
}

# Instructions the matrix loop may spend on an element: on AArch64 the
# addition cannot read memory, so the second load is an instruction of its
# own.
element_insns() { [[ $(value "$1" arch) == aarch64 ]] && echo 8 || echo 7; }

# Instructions a mixing step needs, beyond the loop's own 3.
step_insns() { [[ $(value "$1" arch) == aarch64 ]] && echo 6 || echo 12; }

cell_int() {
  local insns mul steps extra
  insns=$(value "$1" int_loop_insns); mul=$(value "$1" int_loop_mul)
  if [[ -z $insns ]]; then echo "loop not found"; return; fi
  steps=$(( mul / 2 ))
  extra=$(( insns - $(step_insns "$1") * steps - 3 ))
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
       (( $(value "$result" mm_loop_insns) > $(element_insns "$result") * $(value "$result" mm_loop_mul) )) ||
       ! loop_fits_block "$result" || ! loop_walks_rows "$result" ||
       (( $(value "$result" int_loop_shift) * 2 != mul * 3 )) ||
       (( $(value "$result" int_loop_xor) * 2 != mul * 3 )); then
      echo "kernel object code is not the plain scalar form, or its matrix loop is longer than" \
        "$(element_insns "$result") instructions an element, does not walk along rows (i, p, j) or may straddle two" \
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
