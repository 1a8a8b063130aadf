#include "platform/pseudo_file_systems.h"

#include <algorithm>
#include <iterator>

namespace palvimo {

namespace {

struct Pseudo_Type {
  std::string_view Name;
  std::uint32_t Number;  // as statfs reports it; 0 where it is another's
};

constexpr Pseudo_Type Pseudo_Types[] = {
    {"proc", 0x00009fa0},       {"sysfs", 0x62656572},      {"devpts", 0x00001cd1},
    {"devtmpfs", 0},            {"devfs", 0x00001373},      {"cgroup", 0x0027e0eb},
    {"cgroup2", 0x63677270},    {"debugfs", 0x64626720},    {"tracefs", 0x74726163},
    {"securityfs", 0x73636673}, {"pstore", 0x6165676c},     {"bpf", 0xcafe4a11},
    {"configfs", 0x62656570},   {"fusectl", 0x65735543},    {"mqueue", 0x19800202},
    {"hugetlbfs", 0x958458f6},  {"binfmt_misc", 0x42494e4d}, {"efivarfs", 0xde5e81e4},
    {"selinuxfs", 0xf97cff8c},  {"smackfs", 0x43415d53},    {"autofs", 0x00000187},
    {"rpc_pipefs", 0x67596969}, {"nsfs", 0x6e736673},       {"resctrl", 0x07655821},
    {"binderfs", 0x6c6f6f70},   {"nfsd", 0x6e667364},
};

}  // namespace

bool Is_Pseudo_File_System_Type(std::string_view name) {
  return std::any_of(std::begin(Pseudo_Types), std::end(Pseudo_Types),
                     [name](const Pseudo_Type& type) { return type.Name == name; });
}

bool Is_Pseudo_File_System_Number(std::uint32_t number) {
  return number != 0 && std::any_of(std::begin(Pseudo_Types), std::end(Pseudo_Types),
                                    [number](const Pseudo_Type& type) { return type.Number == number; });
}

bool Is_Kernel_Mount_Point(std::string_view path) {
  for (const std::string_view folder : {"/proc", "/sys", "/dev"}) {
    if (path.starts_with(folder) && (path.size() == folder.size() || path[folder.size()] == '/')) return true;
  }
  return false;
}

}  // namespace palvimo
