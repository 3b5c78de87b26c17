#include "kernel32_messages.h"

namespace fwsim::detail {
namespace {

struct Message {
  DWORD id;
  std::u16string_view text;
};

constexpr Message kSystem[] = {
    {0, u"The operation completed successfully.\r\n"},
    {2, u"The system cannot find the file specified.\r\n"},
    {3, u"The system cannot find the path specified.\r\n"},
    {5, u"Access is denied.\r\n"},
    {6, u"The handle is invalid.\r\n"},
    {8, u"Not enough memory resources are available to process this command.\r\n"},
    {13, u"The data is invalid.\r\n"},
    {87, u"The parameter is incorrect.\r\n"},
    {122, u"The data area passed to a system call is too small.\r\n"},
    {126, u"The specified module could not be found.\r\n"},
    {317,
     u"The system cannot find message text for message number 0x%1 in the message file for "
     u"%2.\r\n"},
    {1168, u"Element not found.\r\n"},
    {0x80004001, u"Not implemented\r\n"},
    {0x80004002, u"No such interface supported\r\n"},
    {0x80004005, u"Unspecified error\r\n"},
    {0x80010106, u"Cannot change thread mode after it is set.\r\n"},
    {0x800401F0, u"CoInitialize has not been called.\r\n"},
    {0x80040154, u"Class not registered\r\n"},
    {0x8000FFFF, u"Catastrophic failure\r\n"},
};

constexpr Message kNtdll[] = {
    {0xC0000005,
     u"The instruction at 0x%p referenced memory at 0x%p. The memory could not be %s.\r\n"},
    {0xC0000022,
     u"{Access Denied}\r\nA process has requested access to an object, but has not been granted "
     u"those access rights.\r\n"},
    {0xC0000034, u"Object Name not found.\r\n"},
};

template <std::size_t N>
std::optional<std::u16string_view> find(const Message (&table)[N], DWORD id) {
  for (const Message& message : table) {
    if (message.id == id) return message.text;
  }
  return std::nullopt;
}

}  // namespace

std::optional<std::u16string_view> system_message_text(DWORD id) {
  // FACILITY_WIN32 HRESULTs share the texts of the Win32 codes they carry.
  if ((id & 0xFFFF0000) == 0x80070000) id &= 0xFFFF;
  return find(kSystem, id);
}

std::optional<std::u16string_view> ntdll_message_text(DWORD id) { return find(kNtdll, id); }

}  // namespace fwsim::detail
