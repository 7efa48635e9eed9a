// Decoding MIDR_EL1 with a table of the implementers and cores in common
// use, their numbers as the implementers publish them.
#include "machine/arm_processor.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <sstream>

namespace quorvane::host {
namespace {

struct implementer_name {
  unsigned code;
  const char* name;
};

constexpr implementer_name implementers[] = {
    {0x41, "Arm"},       {0x42, "Broadcom"}, {0x43, "Cavium"},        {0x46, "Fujitsu"},
    {0x48, "HiSilicon"}, {0x4e, "NVIDIA"},   {0x50, "Applied Micro"}, {0x51, "Qualcomm"},
    {0x53, "Samsung"},   {0x56, "Marvell"},  {0x61, "Apple"},         {0x69, "Intel"},
    {0x6d, "Microsoft"}, {0x70, "Phytium"},  {0xc0, "Ampere"}};

struct part_name {
  unsigned implementer;
  unsigned part;
  const char* name;
};

constexpr part_name parts[] = {
    // Arm's own cores, in servers (Neoverse) and in boards, phones and
    // laptops (Cortex).
    {0x41, 0xd03, "Cortex-A53"},
    {0x41, 0xd04, "Cortex-A35"},
    {0x41, 0xd05, "Cortex-A55"},
    {0x41, 0xd06, "Cortex-A65"},
    {0x41, 0xd07, "Cortex-A57"},
    {0x41, 0xd08, "Cortex-A72"},
    {0x41, 0xd09, "Cortex-A73"},
    {0x41, 0xd0a, "Cortex-A75"},
    {0x41, 0xd0b, "Cortex-A76"},
    {0x41, 0xd0c, "Neoverse-N1"},
    {0x41, 0xd0d, "Cortex-A77"},
    {0x41, 0xd0e, "Cortex-A76AE"},
    {0x41, 0xd40, "Neoverse-V1"},
    {0x41, 0xd41, "Cortex-A78"},
    {0x41, 0xd42, "Cortex-A78AE"},
    {0x41, 0xd44, "Cortex-X1"},
    {0x41, 0xd46, "Cortex-A510"},
    {0x41, 0xd47, "Cortex-A710"},
    {0x41, 0xd48, "Cortex-X2"},
    {0x41, 0xd49, "Neoverse-N2"},
    {0x41, 0xd4a, "Neoverse-E1"},
    {0x41, 0xd4b, "Cortex-A78C"},
    {0x41, 0xd4c, "Cortex-X1C"},
    {0x41, 0xd4d, "Cortex-A715"},
    {0x41, 0xd4e, "Cortex-X3"},
    {0x41, 0xd4f, "Neoverse-V2"},
    {0x41, 0xd80, "Cortex-A520"},
    {0x41, 0xd81, "Cortex-A720"},
    {0x41, 0xd82, "Cortex-X4"},
    {0x41, 0xd84, "Neoverse-V3"},
    {0x41, 0xd85, "Cortex-X925"},
    {0x41, 0xd87, "Cortex-A725"},
    {0x41, 0xd8e, "Neoverse-N3"},
    {0x42, 0x100, "Brahma-B53"},
    {0x42, 0x516, "Vulcan"},
    {0x43, 0x0a1, "ThunderX"},
    {0x43, 0x0a2, "ThunderX 81xx"},
    {0x43, 0x0a3, "ThunderX 83xx"},
    {0x43, 0x0af, "ThunderX2"},
    {0x46, 0x001, "A64FX"},
    {0x48, 0xd01, "TaiShan v110"},
    {0x4e, 0x003, "Denver"},
    {0x4e, 0x004, "Carmel"},
    {0x50, 0x000, "X-Gene"},
    {0x51, 0x001, "Oryon"},
    {0x51, 0x200, "Kryo"},
    {0x51, 0x800, "Kryo 2XX Gold"},
    {0x51, 0x801, "Kryo 2XX Silver"},
    {0x51, 0x802, "Kryo 3XX Gold"},
    {0x51, 0x803, "Kryo 3XX Silver"},
    {0x51, 0x804, "Kryo 4XX Gold"},
    {0x51, 0x805, "Kryo 4XX Silver"},
    {0x51, 0xc00, "Falkor"},
    {0x61, 0x022, "M1 Icestorm"},
    {0x61, 0x023, "M1 Firestorm"},
    {0x61, 0x024, "M1 Pro Icestorm"},
    {0x61, 0x025, "M1 Pro Firestorm"},
    {0x61, 0x028, "M1 Max Icestorm"},
    {0x61, 0x029, "M1 Max Firestorm"},
    {0x61, 0x032, "M2 Blizzard"},
    {0x61, 0x033, "M2 Avalanche"},
    {0x61, 0x034, "M2 Pro Blizzard"},
    {0x61, 0x035, "M2 Pro Avalanche"},
    {0x61, 0x038, "M2 Max Blizzard"},
    {0x61, 0x039, "M2 Max Avalanche"},
    {0x6d, 0xd49, "Azure Cobalt 100"},
    {0xc0, 0xac3, "Ampere-1"},
    {0xc0, 0xac4, "Ampere-1A"},
};

std::string hex(unsigned value, int digits) {
  char text[16];
  std::snprintf(text, sizeof text, "0x%0*x", digits, value);
  return text;
}

const char* implementer_of(unsigned code) {
  for (const implementer_name& known : implementers) {
    if (known.code == code) return known.name;
  }
  return nullptr;
}

std::string trimmed(const std::string& text) {
  const char* blanks = " \t\r\n";
  const std::size_t first = text.find_first_not_of(blanks);
  if (first == std::string::npos) return std::string();
  return text.substr(first, text.find_last_not_of(blanks) - first + 1);
}

// A number as /proc/cpuinfo writes these fields ("0x41", "0xd0c", "1"),
// no larger than limit.
std::optional<unsigned> field_number(const std::string& text, unsigned limit) {
  const std::string word = trimmed(text);
  if (word.empty() || word.size() > 10) return std::nullopt;
  const bool hexadecimal = word.size() > 2 && word[0] == '0' && (word[1] == 'x' || word[1] == 'X');
  const std::string digits = hexadecimal ? word.substr(2) : word;
  const char* allowed = hexadecimal ? "0123456789abcdefABCDEF" : "0123456789";
  if (digits.empty() || digits.find_first_not_of(allowed) != std::string::npos) return std::nullopt;
  const unsigned long value = std::strtoul(digits.c_str(), nullptr, hexadecimal ? 16 : 10);
  if (value > limit) return std::nullopt;
  return static_cast<unsigned>(value);
}

bool same_core(const main_id& a, const main_id& b) {
  return a.implementer == b.implementer && a.part == b.part;
}

// The first id of each core, in order.
std::vector<main_id> distinct_cores(const std::vector<main_id>& ids) {
  std::vector<main_id> cores;
  for (const main_id& id : ids) {
    bool seen = false;
    for (const main_id& core : cores) seen = seen || same_core(core, id);
    if (!seen) cores.push_back(id);
  }
  return cores;
}

}  // namespace

std::optional<main_id> parse_main_id(const std::string& text) {
  std::string word = trimmed(text);
  if (word.size() > 2 && word[0] == '0' && (word[1] == 'x' || word[1] == 'X'))
    word = word.substr(2);
  if (word.empty() || word.size() > 16 ||
      word.find_first_not_of("0123456789abcdefABCDEF") != std::string::npos) {
    return std::nullopt;
  }
  const unsigned long long value = std::strtoull(word.c_str(), nullptr, 16);
  // Bits 63-32 are reserved; the register's fields are in the low word.
  main_id id;
  id.implementer = static_cast<unsigned>((value >> 24) & 0xffU);
  id.variant = static_cast<unsigned>((value >> 20) & 0xfU);
  id.part = static_cast<unsigned>((value >> 4) & 0xfffU);
  id.revision = static_cast<unsigned>(value & 0xfU);
  if (id.implementer == 0 && id.part == 0) return std::nullopt;
  return id;
}

std::vector<main_id> main_ids_from_cpuinfo(const std::string& cpuinfo) {
  std::vector<main_id> ids;
  std::istringstream lines(cpuinfo + "\n\n");
  std::string line;
  // The block's fields as read, and whether its implementer and part were
  // (plain flags: GCC takes an optional's value read under its own test for
  // one that may be uninitialised).
  main_id block;
  bool have_implementer = false;
  bool have_part = false;
  // A blank line ends a processor's block.
  while (std::getline(lines, line)) {
    const std::size_t colon = line.find(':');
    if (colon == std::string::npos) {
      if (trimmed(line).empty() && have_implementer && have_part) ids.push_back(block);
      if (trimmed(line).empty()) {
        have_implementer = false;
        have_part = false;
        block = main_id{};
      }
      continue;
    }
    const std::string name = trimmed(line.substr(0, colon));
    const std::string value = line.substr(colon + 1);
    if (name == "CPU implementer") {
      const std::optional<unsigned> number = field_number(value, 0xff);
      have_implementer = number.has_value();
      block.implementer = number.value_or(0);
    } else if (name == "CPU part") {
      const std::optional<unsigned> number = field_number(value, 0xfff);
      have_part = number.has_value();
      block.part = number.value_or(0);
    } else if (name == "CPU variant") {
      block.variant = field_number(value, 0xf).value_or(0);
    } else if (name == "CPU revision") {
      block.revision = field_number(value, 0xf).value_or(0);
    }
  }
  return ids;
}

std::string core_name(const main_id& id) {
  const char* implementer = implementer_of(id.implementer);
  for (const part_name& known : parts) {
    if (known.implementer == id.implementer && known.part == id.part) {
      return std::string(implementer) + " " + known.name;
    }
  }
  if (implementer != nullptr) return std::string(implementer) + " part " + hex(id.part, 3);
  return "implementer " + hex(id.implementer, 2) + " part " + hex(id.part, 3);
}

std::string arm_processor_name(const std::vector<main_id>& ids) {
  std::string name;
  for (const main_id& core : distinct_cores(ids))
    name += (name.empty() ? "" : " + ") + core_name(core);
  return name;
}

std::string arm_processor_signature(const std::vector<main_id>& ids) {
  std::string signature;
  for (const main_id& core : distinct_cores(ids)) {
    signature += (signature.empty() ? "" : "; ") + std::string("implementer ") +
                 hex(core.implementer, 2) + ", part " + hex(core.part, 3) + ", r" +
                 std::to_string(core.variant) + "p" + std::to_string(core.revision);
  }
  return signature;
}

}  // namespace quorvane::host
