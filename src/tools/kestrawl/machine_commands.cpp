#include "tools/kestrawl/machine_commands.h"

#include <cstdio>
#include <fstream>
#include <iostream>
#include <sstream>

#include "base/text.h"
#include "platform/sim/profiles.h"
#include "platform/sim/reg_file.h"
#include "platform/sim/sim_file_system.h"
#include "platform/sim/sim_machine.h"
#include "tools/kestrawl/programs_command.h"

namespace kestrawl::tools {

using namespace kestrawl::platform;
using namespace kestrawl::platform::sim;

namespace {

struct RegOptions {
  std::string key;
  std::string value_name;
  std::string type;
  std::vector<std::string> data;
  std::string view;
  std::string file;
  std::string output;
};

RegView ParseView(const std::string& text) {
  if (text.empty()) return RegView::kDefault;
  if (text == "32") return RegView::k32;
  if (text == "64") return RegView::k64;
  throw std::runtime_error("--view must be 32 or 64, not '" + text + "'");
}

void ParseKey(const std::string& text, RegRoot* root, std::string* subkey) {
  if (!ParseRegKeyPath(text, root, subkey))
    throw std::runtime_error("not a registry key: '" + text + "' (write it as HKLM\\..., HKEY_CURRENT_USER\\..., ...)");
}

// The default value is written "" or "@".
std::string ValueName(const std::string& text) { return text == "@" ? std::string() : text; }

std::string FormatValue(const RegValue& v) {
  switch (v.type) {
    case regtype::kSz:
    case regtype::kExpandSz:
      return v.AsString();
    case regtype::kDword:
      return std::to_string(v.AsDword());
    case regtype::kQword:
      return std::to_string(v.AsQword());
    case regtype::kMultiSz: {
      // Every item, empty ones too (some lists hold them on purpose); only
      // the terminating empty string is left out.
      std::u16string units;
      for (size_t i = 0; i + 1 < v.data.size(); i += 2)
        units.push_back(static_cast<char16_t>(static_cast<unsigned char>(v.data[i]) |
                                              (static_cast<unsigned char>(v.data[i + 1]) << 8)));
      std::vector<std::string> items = base::Split(base::Utf16ToUtf8(units), '\0');
      if (!items.empty() && items.back().empty()) items.pop_back();
      if (!items.empty() && items.back().empty()) items.pop_back();
      return base::Join(items, "\n");
    }
    default: {
      std::string hex;
      char buf[3];
      for (unsigned char c : v.data) {
        snprintf(buf, sizeof buf, "%02X", c);
        hex += buf;
      }
      return hex;
    }
  }
}

uint64_t ParseNumber(const std::string& text, uint64_t max) {
  try {
    size_t used = 0;
    int base = 10;
    std::string t = text;
    if (t.size() > 2 && (t.rfind("0x", 0) == 0 || t.rfind("0X", 0) == 0)) {
      base = 16;
      t = t.substr(2);
    }
    if (t.empty() || t[0] == '-' || t[0] == '+') throw std::invalid_argument("sign");
    uint64_t v = std::stoull(t, &used, base);
    if (used != t.size() || v > max) throw std::out_of_range("range");
    return v;
  } catch (const std::exception&) {
    throw std::runtime_error("not a valid number for this type: '" + text + "'");
  }
}

RegValue MakeValue(const std::string& type_text, const std::vector<std::string>& data) {
  std::string type = base::AsciiUpper(type_text);
  auto single = [&]() -> std::string {
    if (data.size() > 1) throw std::runtime_error(type + " takes one DATA argument");
    return data.empty() ? std::string() : data[0];
  };
  if (type == "REG_SZ") return RegValue::String(single(), regtype::kSz);
  if (type == "REG_EXPAND_SZ") return RegValue::String(single(), regtype::kExpandSz);
  if (type == "REG_DWORD") return RegValue::Dword(static_cast<uint32_t>(ParseNumber(single(), 0xFFFFFFFFull)));
  if (type == "REG_QWORD") return RegValue::Qword(ParseNumber(single(), ~0ull));
  if (type == "REG_MULTI_SZ") return RegValue::MultiString(data);
  if (type == "REG_BINARY" || type == "REG_NONE") {
    std::string hex = single(), bytes;
    if (hex.size() % 2) throw std::runtime_error("binary data needs pairs of hex digits: '" + hex + "'");
    for (size_t i = 0; i < hex.size(); i += 2) {
      if (!isxdigit(static_cast<unsigned char>(hex[i])) || !isxdigit(static_cast<unsigned char>(hex[i + 1])))
        throw std::runtime_error("not a hex digit pair: '" + hex.substr(i, 2) + "'");
      bytes.push_back(static_cast<char>(std::stoi(hex.substr(i, 2), nullptr, 16)));
    }
    return RegValue::Binary(bytes, type == "REG_NONE" ? regtype::kNone : regtype::kBinary);
  }
  throw std::runtime_error("unknown value type '" + type_text +
                           "' (REG_SZ, REG_EXPAND_SZ, REG_BINARY, REG_DWORD, REG_MULTI_SZ, REG_QWORD, REG_NONE)");
}

int Fail(const std::string& message, int code = 1) {
  std::cerr << "kestrawl: " << message << "\n";
  return code;
}

}  // namespace

void AddMachineCommands(CLI::App& app, std::string& machine_option, int& exit_code) {
  CLI::App* machine = app.add_subcommand("machine", "Create, inspect and change a simulated Windows machine");
  machine->require_subcommand(1);
  machine->fallthrough();
  machine->add_option("--machine", machine_option,
                      "Machine folder (default: $KESTRAWL_MACHINE, else ~/.local/share/kestrawl/machine)");
  auto open = [&machine_option]() { return SimMachine::Open(ResolveMachineDir(machine_option)); };

  // machine init
  static InitOptions init;
  CLI::App* init_cmd = machine->add_subcommand("init", "Create a machine from a profile");
  std::string profiles_help = "Profile:";
  for (const auto& p : Profiles()) profiles_help += "\n  " + p.name + ": " + p.description;
  init_cmd->add_option("--profile", init.profile, profiles_help)->default_val(kDefaultProfile);
  init_cmd->add_option("--user", init.user, "User name (default: the profile's)");
  init_cmd->add_flag("--standard-user", init.standard_user, "The user is not an administrator");
  init_cmd->add_flag("--force", init.force, "Replace an existing machine");
  init_cmd->callback([&] {
    std::string dir = ResolveMachineDir(machine_option);
    SimMachine::Init(dir, init);
    std::cout << "Created a " << init.profile << " machine in " << dir << "\n";
  });

  // machine path
  static std::string win_path;
  CLI::App* path_cmd = machine->add_subcommand("path", "Print the host path a Windows path resolves to");
  path_cmd->add_option("WINPATH", win_path, "Windows path, e.g. C:\\Windows")->required();
  path_cmd->callback([&, open] {
    auto m = open();
    std::string host;
    Win32Error e = m->SimFiles().ResolveHostPath(win_path, &host);
    if (e != err::kSuccess) {
      exit_code = Fail("cannot resolve " + win_path + ": " + SystemMessage(e));
      return;
    }
    std::cout << host << "\n";
  });

  // machine info
  CLI::App* info_cmd = machine->add_subcommand("info", "Print the machine's facts");
  info_cmd->callback([&, open] {
    auto m = open();
    const MachineFacts& f = m->Sys().Facts();
    const Profile* p = FindProfile(f.profile);
    std::cout << "Machine:        " << m->dir() << "\n"
              << "Profile:        " << f.profile << (p ? " (" + p->description + ")" : "") << "\n"
              << "Platform:       " << (f.nt ? "Windows NT" : "Windows 9x") << "\n"
              << "Version:        " << f.major << "." << f.minor << "." << f.build
              << (f.service_pack.empty() ? "" : " " + f.service_pack) << "\n"
              << "Product type:   "
              << (f.product_type == ProductType::kWorkstation ? "workstation"
                  : f.product_type == ProductType::kServer    ? "server"
                                                              : "domain controller")
              << "\n"
              << "Architecture:   " << f.architecture << (f.os64 ? " (64-bit)" : " (32-bit)")
              << (f.os64 && f.process32 ? ", engine runs as a 32-bit process" : "") << "\n"
              << "Computer:       " << f.computer_name << "\n"
              << "User:           " << f.domain << "\\" << f.user_name << " (" << f.user_sid << ")\n"
              << "Administrator:  " << (f.administrator ? "yes" : "no")
              << (f.elevated ? ", elevated" : ", not elevated") << "\n"
              << "Locale:         user " << f.user_lcid << ", system " << f.system_lcid << "\n"
              << "Screen:         " << f.screen_width << "x" << f.screen_height << ", " << f.color_depth
              << " bits\n"
              << "Memory:         " << (f.physical_memory >> 20) << " MB\n"
              << "Processors:     " << f.processors << "\n"
              << "Drives:         " << m->Files().LogicalDrives() << "\n"
              << "Temp folder:    " << m->Sys().TempFolder() << "\n";
  });

  // machine reboot
  CLI::App* reboot_cmd = machine->add_subcommand("reboot", "Carry out the renames and deletions pending a restart");
  reboot_cmd->callback([&, open] {
    auto m = open();
    Win32Error e = m->SimFiles().ProcessPendingRenames();
    if (e != err::kSuccess) {
      exit_code = Fail("restart did not complete: " + SystemMessage(e));
      return;
    }
    std::cout << "Restarted.\n";
  });

  // machine programs, machine uninstall
  AddProgramsCommands(*machine, open, exit_code);

  // machine reg ...
  static RegOptions reg;
  CLI::App* reg_cmd = machine->add_subcommand("reg", "Read and change the registry");
  reg_cmd->require_subcommand(1);
  reg_cmd->fallthrough();

  CLI::App* get_cmd = reg_cmd->add_subcommand("get", "Print a value (without VALUE: the default value)");
  get_cmd->add_option("KEY", reg.key)->required();
  get_cmd->add_option("VALUE", reg.value_name);
  get_cmd->add_option("--view", reg.view, "Registry view: 32 or 64");
  get_cmd->callback([&, open] {
    RegRoot root;
    std::string sub;
    ParseKey(reg.key, &root, &sub);
    RegView view = ParseView(reg.view);
    auto m = open();
    RegValue v;
    Win32Error e = m->Reg().GetValue(root, sub, ValueName(reg.value_name), view, &v);
    if (e != err::kSuccess) {
      exit_code = Fail(reg.key + (reg.value_name.empty() ? " (default)" : " " + reg.value_name) + ": " +
                       SystemMessage(e));
      return;
    }
    std::cout << FormatValue(v) << "\n";
  });

  CLI::App* set_cmd = reg_cmd->add_subcommand("set", "Set a value, creating the key when needed");
  set_cmd->add_option("KEY", reg.key)->required();
  set_cmd->add_option("VALUE", reg.value_name, "Value name (\"\" or @ for the default value)")->required();
  set_cmd->add_option("TYPE", reg.type, "REG_SZ, REG_EXPAND_SZ, REG_BINARY, REG_DWORD, REG_MULTI_SZ, REG_QWORD")
      ->required();
  set_cmd->add_option("DATA", reg.data, "Text, number, hex pairs, or one argument per multi-string item");
  set_cmd->add_option("--view", reg.view, "Registry view: 32 or 64");
  set_cmd->callback([&, open] {
    RegRoot root;
    std::string sub;
    ParseKey(reg.key, &root, &sub);
    RegView view = ParseView(reg.view);
    RegValue value = MakeValue(reg.type, reg.data);
    auto m = open();
    Win32Error e = m->Reg().WriteValue(root, sub, ValueName(reg.value_name), view, value);
    if (e != err::kSuccess) exit_code = Fail("cannot set " + reg.key + ": " + SystemMessage(e));
  });

  CLI::App* del_cmd = reg_cmd->add_subcommand("delete", "Delete a value, or a key with everything below it");
  del_cmd->add_option("KEY", reg.key)->required();
  del_cmd->add_option("VALUE", reg.value_name);
  del_cmd->add_option("--view", reg.view, "Registry view: 32 or 64");
  del_cmd->callback([&, open, del_cmd] {
    RegRoot root;
    std::string sub;
    ParseKey(reg.key, &root, &sub);
    RegView view = ParseView(reg.view);
    auto m = open();
    Win32Error e = del_cmd->count("VALUE") ? m->Reg().DeleteValue(root, sub, ValueName(reg.value_name), view)
                                           : m->Reg().DeleteTree(root, sub, view);
    if (e != err::kSuccess) exit_code = Fail("cannot delete " + reg.key + ": " + SystemMessage(e));
  });

  CLI::App* export_cmd = reg_cmd->add_subcommand("export", "Print a key (or the whole registry) as a .reg file");
  export_cmd->add_option("KEY", reg.key);
  export_cmd->add_option("-o,--output", reg.output, "Write to this file (UTF-16 with byte-order mark)");
  export_cmd->callback([&, open] {
    auto m = open();
    std::string text;
    std::string error;
    if (!ExportRegText(m->Reg(), reg.key, &text, &error)) {
      exit_code = Fail(error);
      return;
    }
    if (reg.output.empty()) {
      std::cout << text;
    } else {
      std::ofstream out(reg.output, std::ios::binary | std::ios::trunc);
      out << EncodeRegFile(text);
      if (!out) exit_code = Fail("cannot write " + reg.output);
    }
  });

  CLI::App* import_cmd = reg_cmd->add_subcommand("import", "Import a .reg file (all of it, or nothing)");
  import_cmd->add_option("FILE", reg.file)->required();
  import_cmd->callback([&, open] {
    std::ifstream in(reg.file, std::ios::binary);
    if (!in) {
      exit_code = Fail("cannot read " + reg.file);
      return;
    }
    std::stringstream ss;
    ss << in.rdbuf();
    auto m = open();
    std::string error;
    if (!ImportReg(m->Reg(), ss.str(), &error)) exit_code = Fail(reg.file + ": " + error);
  });
}

}  // namespace kestrawl::tools
