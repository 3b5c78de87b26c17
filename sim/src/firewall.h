// The simulated Windows Firewall's COM classes (NetFwPolicy2, NetFwRule and the NetFwRules
// collection) and the identifiers that name them. Internal to fwsim.
#pragma once

#include <string>

#include "fwsim/win32.h"

namespace fwsim::detail {

inline constexpr CLSID kClsidNetFwPolicy2 = {
    0xE2B3C97F, 0x6AE1, 0x41AC, {0x81, 0x7A, 0xF6, 0xF9, 0x21, 0x66, 0xD7, 0xDD}};
inline constexpr CLSID kClsidNetFwRule = {
    0x2C5BC43E, 0x3369, 0x4C33, {0xAB, 0x0C, 0xBE, 0x94, 0x69, 0x67, 0x7A, 0xF4}};
inline constexpr IID kIidINetFwPolicy2 = {
    0x98325047, 0xC671, 0x4174, {0x8D, 0x81, 0xDE, 0xFC, 0xD3, 0xF0, 0x31, 0x86}};
inline constexpr IID kIidINetFwRules = {
    0x9C4C6277, 0x5027, 0x441E, {0xAF, 0xAE, 0xCA, 0x1F, 0x54, 0x2D, 0xA0, 0x09}};
inline constexpr IID kIidINetFwRule = {
    0xAF230D27, 0xBABA, 0x4E42, {0xAC, 0xED, 0xF5, 0x24, 0xF2, 0x2C, 0xFC, 0xE2}};

// An object as the trace writes it: its id (`NetFwRule#2`) when it is one of the firewall's
// objects, `null` for a null pointer, and `foreign` for anything else.
std::string object_label(IUnknown* object);

// Whether CoCreateInstance knows this class.
bool is_firewall_class(REFCLSID clsid);

// Makes a new object of a known class and gives the interface `iid` of it, holding the one
// reference, in *object; E_NOINTERFACE (and no object made) when the class does not offer `iid`.
HRESULT create_firewall_object(REFCLSID clsid, REFIID iid, void** object);

}  // namespace fwsim::detail
