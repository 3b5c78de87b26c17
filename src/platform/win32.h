// The one header through which the program reaches the platform. On Windows it is the SDK; on
// every other host it is fwsim, which declares the same names. Nothing else in the program
// includes a platform header.
#pragma once

#if defined(_WIN32)
#ifndef NOMINMAX
#define NOMINMAX
#endif
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
// windows.h first: the other SDK headers build on it.
#include <windows.h>

#include <netfw.h>
#include <oleauto.h>

// The error-information interface that carries a restricted description. The Windows SDK declares
// it in its own header; MinGW-w64 has none, so it is declared here by its documented layout.
#if __has_include(<restrictederrorinfo.h>)
#include <restrictederrorinfo.h>
#else
struct IRestrictedErrorInfo : public IUnknown {
  virtual HRESULT STDMETHODCALLTYPE GetErrorDetails(BSTR* description, HRESULT* error,
                                                    BSTR* restrictedDescription,
                                                    BSTR* capabilitySid) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetReference(BSTR* reference) = 0;
};
#endif

#if defined(__MINGW32__)
// MinGW-w64's icftypes.h stops at TCP and UDP; the SDK's "any protocol" value is 256. A macro, so
// that it still compiles should a later header add the enumerator.
#define NET_FW_IP_PROTOCOL_ANY 256
// Nor has it NET_FW_RULE_CATEGORY, the categories a firewall product owns (the SDK's icftypes.h):
// the values as macros, for the same reason; its type name is not supplied, so compare numbers.
#define NET_FW_RULE_CATEGORY_BOOT 0
#define NET_FW_RULE_CATEGORY_STEALTH 1
#define NET_FW_RULE_CATEGORY_FIREWALL 2
#define NET_FW_RULE_CATEGORY_CONSEC 3

// MSVC has __fastfail as an intrinsic; GCC does not, and MinGW-w64's winnt.h only names it in a
// comment (its intrinsics header marks one it does supply with __INTRINSIC_DEFINED_). This is the
// documented mechanism: interrupt 0x29 with the code in ECX. Windows ends the process at once with
// STATUS_STACK_BUFFER_OVERRUN, running no exception handler, no unwinding and no atexit function.
#if !defined(__INTRINSIC_DEFINED___fastfail)
[[noreturn]] inline void __fastfail(unsigned int code) {
  asm volatile("int $0x29" : : "c"(code) : "memory");
  __builtin_unreachable();
}
#endif
#endif
#else
#include <fwsim/win32.h>
#endif

#include <type_traits>

#include "text/wide_string.h"

namespace orvane {

static_assert(std::is_same_v<WideChar, WCHAR>, "WideString must be the platform's wide text");

// Classes and interfaces of the firewall policy API and the error-information interface that the
// program asks for, by their documented identifiers.
inline constexpr CLSID kClsidNetFwPolicy2 = {
    0xE2B3C97F, 0x6AE1, 0x41AC, {0x81, 0x7A, 0xF6, 0xF9, 0x21, 0x66, 0xD7, 0xDD}};
inline constexpr IID kIidINetFwPolicy2 = {
    0x98325047, 0xC671, 0x4174, {0x8D, 0x81, 0xDE, 0xFC, 0xD3, 0xF0, 0x31, 0x86}};
inline constexpr CLSID kClsidNetFwRule = {
    0x2C5BC43E, 0x3369, 0x4C33, {0xAB, 0x0C, 0xBE, 0x94, 0x69, 0x67, 0x7A, 0xF4}};
inline constexpr IID kIidINetFwRule = {
    0xAF230D27, 0xBABA, 0x4E42, {0xAC, 0xED, 0xF5, 0x24, 0xF2, 0x2C, 0xFC, 0xE2}};
inline constexpr CLSID kClsidNetFwProducts = {
    0xCC19079B, 0x8272, 0x4D73, {0xBB, 0x70, 0xCD, 0xB5, 0x33, 0x52, 0x7B, 0x61}};
inline constexpr IID kIidINetFwProducts = {
    0x39EB36E0, 0x2097, 0x40BD, {0x8A, 0xF2, 0x63, 0xA1, 0x3B, 0x52, 0x53, 0x62}};
inline constexpr IID kIidINetFwProduct = {
    0x71881699, 0x18F4, 0x458B, {0xB8, 0x92, 0x3F, 0xFC, 0xE5, 0xE0, 0x7F, 0x75}};
inline constexpr IID kIidIEnumVARIANT = {
    0x00020404, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};
inline constexpr IID kIidIRestrictedErrorInfo = {
    0x82BA7092, 0x4C88, 0x427D, {0xA7, 0xBC, 0x16, 0xDD, 0x93, 0xFE, 0xB6, 0x7E}};

}  // namespace orvane
