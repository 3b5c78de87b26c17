// fwsim: the subset of the Windows API that the program uses, declared with the platform's own
// names and implemented in-process on non-Windows hosts. Only what the program and fwsim's own
// tests need is here; types keep the sizes they have on 64-bit Windows. Each section names the
// file of sim/src that implements it: one file per simulated DLL or subsystem.
#pragma once

#include <cstddef>
#include <cstdint>

// ---------------------------------------------------------------------------------------------
// Basic types (declarations only: nothing to implement)
using BYTE = std::uint8_t;
using WORD = std::uint16_t;
using DWORD = std::uint32_t;
using USHORT = std::uint16_t;
using SHORT = std::int16_t;
using ULONG = std::uint32_t;
using LONG = std::int32_t;
using UINT = unsigned int;
using BOOL = int;
using HRESULT = std::int32_t;
using SIZE_T = std::size_t;
using WCHAR = char16_t;  // UTF-16 code unit, as wchar_t is on Windows
using OLECHAR = WCHAR;
using BSTR = OLECHAR*;
using LPWSTR = WCHAR*;
using LPCWSTR = const WCHAR*;
using LPCSTR = const char*;
using LPVOID = void*;
using LPCVOID = const void*;
using PVOID = void*;
using LPDWORD = DWORD*;
using VARTYPE = unsigned short;
using VARIANT_BOOL = short;
using HANDLE = void*;
struct HINSTANCE__;
using HMODULE = HINSTANCE__*;
struct OVERLAPPED;
using LPOVERLAPPED = OVERLAPPED*;

#define WINAPI
#define STDMETHODCALLTYPE

#define SUCCEEDED(hr) (static_cast<HRESULT>(hr) >= 0)
#define FAILED(hr) (static_cast<HRESULT>(hr) < 0)

inline constexpr BOOL TRUE = 1;
inline constexpr BOOL FALSE = 0;
inline constexpr VARIANT_BOOL VARIANT_TRUE = -1;
inline constexpr VARIANT_BOOL VARIANT_FALSE = 0;

// ---------------------------------------------------------------------------------------------
// Result codes and error numbers (declarations only; the texts are in kernel32_messages.cpp)
inline constexpr HRESULT S_OK = 0;
inline constexpr HRESULT S_FALSE = 1;
inline constexpr HRESULT E_NOTIMPL = static_cast<HRESULT>(0x80004001);
inline constexpr HRESULT E_NOINTERFACE = static_cast<HRESULT>(0x80004002);
inline constexpr HRESULT E_POINTER = static_cast<HRESULT>(0x80004003);
inline constexpr HRESULT E_FAIL = static_cast<HRESULT>(0x80004005);
inline constexpr HRESULT E_UNEXPECTED = static_cast<HRESULT>(0x8000FFFF);
inline constexpr HRESULT E_ACCESSDENIED = static_cast<HRESULT>(0x80070005);
inline constexpr HRESULT E_OUTOFMEMORY = static_cast<HRESULT>(0x8007000E);
inline constexpr HRESULT E_INVALIDARG = static_cast<HRESULT>(0x80070057);
inline constexpr HRESULT RPC_E_CHANGED_MODE = static_cast<HRESULT>(0x80010106);
inline constexpr HRESULT CO_E_NOTINITIALIZED = static_cast<HRESULT>(0x800401F0);
inline constexpr HRESULT REGDB_E_CLASSNOTREG = static_cast<HRESULT>(0x80040154);
inline constexpr HRESULT DISP_E_BADINDEX = static_cast<HRESULT>(0x8002000B);
inline constexpr HRESULT DISP_E_BADVARTYPE = static_cast<HRESULT>(0x80020008);

inline constexpr DWORD ERROR_SUCCESS = 0;
inline constexpr DWORD ERROR_FILE_NOT_FOUND = 2;
inline constexpr DWORD ERROR_ACCESS_DENIED = 5;
inline constexpr DWORD ERROR_NOT_ENOUGH_MEMORY = 8;
inline constexpr DWORD ERROR_INVALID_DATA = 13;
inline constexpr DWORD ERROR_INVALID_PARAMETER = 87;
inline constexpr DWORD ERROR_INSUFFICIENT_BUFFER = 122;
inline constexpr DWORD ERROR_MR_MID_NOT_FOUND = 317;

// ---------------------------------------------------------------------------------------------
// kernel32: the own path, the last error, modules and the DLL search, the UTF-8 conversion and
// the fail-fast ending (kernel32.cpp)
inline constexpr DWORD LOAD_LIBRARY_SEARCH_APPLICATION_DIR = 0x00000200;
inline constexpr DWORD LOAD_LIBRARY_SEARCH_USER_DIRS = 0x00000400;
inline constexpr DWORD LOAD_LIBRARY_SEARCH_SYSTEM32 = 0x00000800;
inline constexpr DWORD LOAD_LIBRARY_SEARCH_DEFAULT_DIRS = 0x00001000;
inline constexpr UINT CP_UTF8 = 65001;
inline constexpr unsigned FAST_FAIL_FATAL_APP_EXIT = 7;

DWORD WINAPI GetModuleFileNameW(HMODULE module, LPWSTR filename, DWORD size);
DWORD WINAPI GetLastError();
void WINAPI SetLastError(DWORD error);
HMODULE WINAPI LoadLibraryExA(LPCSTR file_name, HANDLE file, DWORD flags);
// Where the process's later LoadLibrary calls (and the DLLs COM loads for it) look. FALSE with
// ERROR_INVALID_PARAMETER for flags outside the documented LOAD_LIBRARY_SEARCH_* set.
BOOL WINAPI SetDefaultDllDirectories(DWORD directory_flags);
HMODULE WINAPI GetModuleHandleA(LPCSTR module_name);
int WINAPI MultiByteToWideChar(UINT code_page, DWORD flags, LPCSTR multi_byte, int multi_byte_count,
                               LPWSTR wide, int wide_count);
// The platform's fail-fast ending. fwsim ends the process with abort().
[[noreturn]] void __fastfail(unsigned code);

// ---------------------------------------------------------------------------------------------
// kernel32: system messages and the process heap their buffers come from (kernel32_messages.cpp)
inline constexpr DWORD FORMAT_MESSAGE_ALLOCATE_BUFFER = 0x00000100;
inline constexpr DWORD FORMAT_MESSAGE_IGNORE_INSERTS = 0x00000200;
inline constexpr DWORD FORMAT_MESSAGE_FROM_HMODULE = 0x00000800;
inline constexpr DWORD FORMAT_MESSAGE_FROM_SYSTEM = 0x00001000;

// With FORMAT_MESSAGE_ALLOCATE_BUFFER, `buffer` is really a WCHAR** that receives a process-heap
// allocation; the caller frees it with HeapFree(GetProcessHeap(), 0, p).
DWORD WINAPI FormatMessageW(DWORD flags, LPCVOID source, DWORD message_id, DWORD language_id,
                            LPWSTR buffer, DWORD size, void* arguments);
HANDLE WINAPI GetProcessHeap();
BOOL WINAPI HeapFree(HANDLE heap, DWORD flags, LPVOID memory);

// ---------------------------------------------------------------------------------------------
// kernel32: standard output and standard error, each a file or a console (kernel32_stderr.cpp)
inline constexpr DWORD STD_OUTPUT_HANDLE = static_cast<DWORD>(-11);
inline constexpr DWORD STD_ERROR_HANDLE = static_cast<DWORD>(-12);

HANDLE WINAPI GetStdHandle(DWORD std_handle);
BOOL WINAPI GetConsoleMode(HANDLE console, LPDWORD mode);
UINT WINAPI GetConsoleOutputCP();
BOOL WINAPI WriteConsoleW(HANDLE console, const void* buffer, DWORD count, LPDWORD written,
                          LPVOID reserved);
BOOL WINAPI WriteFile(HANDLE file, LPCVOID buffer, DWORD count, LPDWORD written,
                      LPOVERLAPPED overlapped);

// ---------------------------------------------------------------------------------------------
// kernel32: the console's processes and standard input (kernel32_console.cpp), the environment's
// expansion (kernel32_environment.cpp)
inline constexpr DWORD STD_INPUT_HANDLE = static_cast<DWORD>(-10);

// ReadConsoleW's optional input control (wincon.h); fwsim ignores it.
struct CONSOLE_READCONSOLE_CONTROL {
  ULONG nLength;
  ULONG nInitialChars;
  ULONG dwCtrlWakeupMask;
  ULONG dwControlKeyState;
};
using PCONSOLE_READCONSOLE_CONTROL = CONSOLE_READCONSOLE_CONTROL*;

DWORD WINAPI GetConsoleProcessList(LPDWORD process_list, DWORD process_count);
BOOL WINAPI ReadFile(HANDLE file, LPVOID buffer, DWORD count, LPDWORD read,
                     LPOVERLAPPED overlapped);
BOOL WINAPI ReadConsoleW(HANDLE console_input, LPVOID buffer, DWORD count, LPDWORD read,
                         PCONSOLE_READCONSOLE_CONTROL input_control);
DWORD WINAPI ExpandEnvironmentStringsW(LPCWSTR source, LPWSTR destination, DWORD size);

// ---------------------------------------------------------------------------------------------
// GUIDs (IsEqualGUID: ole32.cpp)
struct GUID {
  std::uint32_t Data1;
  std::uint16_t Data2;
  std::uint16_t Data3;
  std::uint8_t Data4[8];
};
using IID = GUID;
using CLSID = GUID;
using REFIID = const IID&;
using REFCLSID = const CLSID&;
bool IsEqualGUID(REFIID a, REFIID b);
inline bool operator==(const GUID& a, const GUID& b) { return IsEqualGUID(a, b); }

// ---------------------------------------------------------------------------------------------
// OLE Automation (oleaut32): BSTRs and VARIANTs (oleaut32.cpp), SAFEARRAYs (oleaut32_safearray.cpp)
enum VARENUM : VARTYPE {
  VT_EMPTY = 0,
  VT_NULL = 1,
  VT_I4 = 3,
  VT_BSTR = 8,
  VT_DISPATCH = 9,
  VT_BOOL = 11,
  VT_VARIANT = 12,
  VT_UNKNOWN = 13,
  VT_ARRAY = 0x2000,
};

struct SAFEARRAYBOUND {
  ULONG cElements;
  LONG lLbound;
};

struct SAFEARRAY {
  USHORT cDims;
  USHORT fFeatures;
  ULONG cbElements;
  ULONG cLocks;
  PVOID pvData;
  SAFEARRAYBOUND rgsabound[1];
};

struct IUnknown;
struct IDispatch;

struct VARIANT {
  VARTYPE vt;
  WORD wReserved1;
  WORD wReserved2;
  WORD wReserved3;
  union {
    LONG lVal;
    VARIANT_BOOL boolVal;
    BSTR bstrVal;
    SAFEARRAY* parray;
    IUnknown* punkVal;
    IDispatch* pdispVal;
    std::uint64_t reserved_[2];
  };
};
static_assert(sizeof(VARIANT) == 24);

#define V_VT(v) ((v)->vt)
#define V_BSTR(v) ((v)->bstrVal)
#define V_ARRAY(v) ((v)->parray)
#define V_BOOL(v) ((v)->boolVal)
#define V_I4(v) ((v)->lVal)
#define V_DISPATCH(v) ((v)->pdispVal)

// oleaut32.cpp
BSTR WINAPI SysAllocStringLen(const OLECHAR* text, UINT length);
UINT WINAPI SysStringLen(BSTR text);
void WINAPI SysFreeString(BSTR text);
void WINAPI VariantInit(VARIANT* value);
HRESULT WINAPI VariantClear(VARIANT* value);
// oleaut32_safearray.cpp
SAFEARRAY* WINAPI SafeArrayCreateVector(VARTYPE type, LONG lower_bound, ULONG count);
HRESULT WINAPI SafeArrayPutElement(SAFEARRAY* array, LONG* indices, void* value);
HRESULT WINAPI SafeArrayDestroy(SAFEARRAY* array);
HRESULT WINAPI SafeArrayGetLBound(SAFEARRAY* array, UINT dimension, LONG* lower_bound);
HRESULT WINAPI SafeArrayGetUBound(SAFEARRAY* array, UINT dimension, LONG* upper_bound);
// Copies the element into `value`, which the caller passes empty.
HRESULT WINAPI SafeArrayGetElement(SAFEARRAY* array, LONG* indices, void* value);

// ---------------------------------------------------------------------------------------------
// COM (ole32): apartments and objects (ole32.cpp), error information (ole32_error_info.cpp)
inline constexpr DWORD COINIT_MULTITHREADED = 0x0;
inline constexpr DWORD COINIT_APARTMENTTHREADED = 0x2;
inline constexpr DWORD CLSCTX_INPROC_SERVER = 0x1;

struct IUnknown {
  virtual HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) = 0;
  virtual ULONG STDMETHODCALLTYPE AddRef() = 0;
  virtual ULONG STDMETHODCALLTYPE Release() = 0;

 protected:
  ~IUnknown() = default;
};

struct IErrorInfo : IUnknown {
  virtual HRESULT STDMETHODCALLTYPE GetDescription(BSTR* description) = 0;

 protected:
  ~IErrorInfo() = default;
};

struct IRestrictedErrorInfo : IUnknown {
  virtual HRESULT STDMETHODCALLTYPE GetErrorDetails(BSTR* description, HRESULT* error,
                                                    BSTR* restricted_description,
                                                    BSTR* capability_sid) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetReference(BSTR* reference) = 0;

 protected:
  ~IRestrictedErrorInfo() = default;
};

// The type a VT_DISPATCH VARIANT holds. IDispatch's own four methods (GetTypeInfoCount,
// GetTypeInfo, GetIDsOfNames, Invoke) come after IUnknown's on Windows; the program calls none of
// them, so fwsim declares none and its objects are reached through QueryInterface only.
struct IDispatch : IUnknown {
 protected:
  ~IDispatch() = default;
};

// A collection's enumerator (oaidl.h), as Microsoft's IEnumVARIANT documentation describes it:
// Next fills up to `celt` VARIANTs and answers S_OK when it filled them all, S_FALSE when fewer
// were left; `fetched` may be null only when `celt` is 1. Skip answers S_FALSE when fewer than
// `celt` were left; Reset starts again; Clone gives an independent enumerator at the same place.
struct IEnumVARIANT : IUnknown {
  virtual HRESULT STDMETHODCALLTYPE Next(ULONG celt, VARIANT* rgVar, ULONG* fetched) = 0;
  virtual HRESULT STDMETHODCALLTYPE Skip(ULONG celt) = 0;
  virtual HRESULT STDMETHODCALLTYPE Reset() = 0;
  virtual HRESULT STDMETHODCALLTYPE Clone(IEnumVARIANT** enumerator) = 0;

 protected:
  ~IEnumVARIANT() = default;
};

inline constexpr IID IID_IUnknown = {
    0x00000000, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};
inline constexpr IID IID_IErrorInfo = {
    0x1CF2B120, 0x547D, 0x101B, {0x8E, 0x65, 0x08, 0x00, 0x2B, 0x2B, 0xD1, 0x19}};
inline constexpr IID IID_IDispatch = {
    0x00020400, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};
inline constexpr IID IID_IEnumVARIANT = {
    0x00020404, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};

// ole32.cpp
HRESULT WINAPI CoInitializeEx(LPVOID reserved, DWORD co_init);
void WINAPI CoUninitialize();
HRESULT WINAPI CoCreateInstance(REFCLSID clsid, IUnknown* outer, DWORD context, REFIID iid,
                                LPVOID* object);
// ole32_error_info.cpp
HRESULT WINAPI GetErrorInfo(ULONG reserved, IErrorInfo** info);
HRESULT WINAPI SetErrorInfo(ULONG reserved, IErrorInfo* info);

// ---------------------------------------------------------------------------------------------
// Windows Firewall (netfw.h): NetFwPolicy2 and the NetFwRules collection (firewall.cpp), the
// policy's state (firewall_policy_state.cpp), NetFwRule (firewall_rule.cpp), the collections'
// enumerators (firewall_enum.cpp), the registered firewall products (firewall_products.cpp);
// behind them the rule store (firewall_store.cpp, firewall_rule_line.cpp) and the firewall's
// checks of a rule (firewall_rule_checks.cpp)
enum NET_FW_RULE_DIRECTION { NET_FW_RULE_DIR_IN = 1, NET_FW_RULE_DIR_OUT = 2, NET_FW_RULE_DIR_MAX };
enum NET_FW_ACTION { NET_FW_ACTION_BLOCK = 0, NET_FW_ACTION_ALLOW = 1, NET_FW_ACTION_MAX };
enum NET_FW_IP_PROTOCOL {
  NET_FW_IP_PROTOCOL_TCP = 6,
  NET_FW_IP_PROTOCOL_UDP = 17,
  NET_FW_IP_PROTOCOL_ANY = 256
};
enum NET_FW_PROFILE_TYPE2 {
  NET_FW_PROFILE2_DOMAIN = 0x1,
  NET_FW_PROFILE2_PRIVATE = 0x2,
  NET_FW_PROFILE2_PUBLIC = 0x4,
  NET_FW_PROFILE2_ALL = 0x7FFFFFFF
};
enum NET_FW_MODIFY_STATE {
  NET_FW_MODIFY_STATE_OK = 0,
  NET_FW_MODIFY_STATE_GP_OVERRIDE = 1,
  NET_FW_MODIFY_STATE_INBOUND_BLOCKED = 2
};
enum NET_FW_RULE_CATEGORY {
  NET_FW_RULE_CATEGORY_BOOT = 0,
  NET_FW_RULE_CATEGORY_STEALTH = 1,
  NET_FW_RULE_CATEGORY_FIREWALL = 2,
  NET_FW_RULE_CATEGORY_CONSEC = 3,
  NET_FW_RULE_CATEGORY_MAX
};

// A dual interface on Windows: IDispatch's methods come before its own.
struct INetFwRule : IDispatch {
  virtual HRESULT STDMETHODCALLTYPE get_Name(BSTR* name) = 0;
  virtual HRESULT STDMETHODCALLTYPE put_Name(BSTR name) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_Description(BSTR* desc) = 0;
  virtual HRESULT STDMETHODCALLTYPE put_Description(BSTR desc) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_ApplicationName(BSTR* image_file_name) = 0;
  virtual HRESULT STDMETHODCALLTYPE put_ApplicationName(BSTR image_file_name) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_ServiceName(BSTR* service_name) = 0;
  virtual HRESULT STDMETHODCALLTYPE put_ServiceName(BSTR service_name) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_Protocol(LONG* protocol) = 0;
  virtual HRESULT STDMETHODCALLTYPE put_Protocol(LONG protocol) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_LocalPorts(BSTR* port_numbers) = 0;
  virtual HRESULT STDMETHODCALLTYPE put_LocalPorts(BSTR port_numbers) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_RemotePorts(BSTR* port_numbers) = 0;
  virtual HRESULT STDMETHODCALLTYPE put_RemotePorts(BSTR port_numbers) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_LocalAddresses(BSTR* local_addrs) = 0;
  virtual HRESULT STDMETHODCALLTYPE put_LocalAddresses(BSTR local_addrs) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_RemoteAddresses(BSTR* remote_addrs) = 0;
  virtual HRESULT STDMETHODCALLTYPE put_RemoteAddresses(BSTR remote_addrs) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_IcmpTypesAndCodes(BSTR* icmp_types_and_codes) = 0;
  virtual HRESULT STDMETHODCALLTYPE put_IcmpTypesAndCodes(BSTR icmp_types_and_codes) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_Direction(NET_FW_RULE_DIRECTION* dir) = 0;
  virtual HRESULT STDMETHODCALLTYPE put_Direction(NET_FW_RULE_DIRECTION dir) = 0;
  // The caller keeps and clears `interfaces`; the rule stores a copy.
  virtual HRESULT STDMETHODCALLTYPE get_Interfaces(VARIANT* interfaces) = 0;
  virtual HRESULT STDMETHODCALLTYPE put_Interfaces(VARIANT interfaces) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_InterfaceTypes(BSTR* interface_types) = 0;
  virtual HRESULT STDMETHODCALLTYPE put_InterfaceTypes(BSTR interface_types) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_Enabled(VARIANT_BOOL* enabled) = 0;
  virtual HRESULT STDMETHODCALLTYPE put_Enabled(VARIANT_BOOL enabled) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_Grouping(BSTR* context) = 0;
  virtual HRESULT STDMETHODCALLTYPE put_Grouping(BSTR context) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_Profiles(LONG* profile_types) = 0;
  virtual HRESULT STDMETHODCALLTYPE put_Profiles(LONG profile_types) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_EdgeTraversal(VARIANT_BOOL* enabled) = 0;
  virtual HRESULT STDMETHODCALLTYPE put_EdgeTraversal(VARIANT_BOOL enabled) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_Action(NET_FW_ACTION* action) = 0;
  virtual HRESULT STDMETHODCALLTYPE put_Action(NET_FW_ACTION action) = 0;

 protected:
  ~INetFwRule() = default;
};

struct INetFwRules : IUnknown {
  virtual HRESULT STDMETHODCALLTYPE get_Count(LONG* count) = 0;
  virtual HRESULT STDMETHODCALLTYPE Add(INetFwRule* rule) = 0;
  virtual HRESULT STDMETHODCALLTYPE Remove(BSTR name) = 0;
  virtual HRESULT STDMETHODCALLTYPE Item(BSTR name, INetFwRule** rule) = 0;
  // An object whose IEnumVARIANT (by QueryInterface) walks the rules as they stood when it was
  // made.
  virtual HRESULT STDMETHODCALLTYPE get__NewEnum(IUnknown** new_enum) = 0;

 protected:
  ~INetFwRules() = default;
};

// Only the methods the program calls, in the SDK's order; fwsim's layout is not the SDK's.
struct INetFwPolicy2 : IUnknown {
  virtual HRESULT STDMETHODCALLTYPE get_CurrentProfileTypes(LONG* profile_types_bitmask) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_FirewallEnabled(NET_FW_PROFILE_TYPE2 profile_type,
                                                        VARIANT_BOOL* enabled) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_BlockAllInboundTraffic(NET_FW_PROFILE_TYPE2 profile_type,
                                                               VARIANT_BOOL* block) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_Rules(INetFwRules** rules) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_DefaultInboundAction(NET_FW_PROFILE_TYPE2 profile_type,
                                                             NET_FW_ACTION* action) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_DefaultOutboundAction(NET_FW_PROFILE_TYPE2 profile_type,
                                                              NET_FW_ACTION* action) = 0;
  virtual HRESULT STDMETHODCALLTYPE
  get_LocalPolicyModifyState(NET_FW_MODIFY_STATE* modify_state) = 0;

 protected:
  ~INetFwPolicy2() = default;
};

// A registered firewall product. Only the gets the program calls.
struct INetFwProduct : IDispatch {
  // A VT_ARRAY | VT_VARIANT of VT_I4 NET_FW_RULE_CATEGORY values; the caller clears it.
  virtual HRESULT STDMETHODCALLTYPE get_RuleCategories(VARIANT* rule_categories) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_DisplayName(BSTR* display_name) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_PathToSignedProductExe(BSTR* path) = 0;

 protected:
  ~INetFwProduct() = default;
};

// The products registered with Windows' firewall (NetFwProducts). Register is not simulated.
struct INetFwProducts : IDispatch {
  virtual HRESULT STDMETHODCALLTYPE get_Count(LONG* count) = 0;
  // 0-based.
  virtual HRESULT STDMETHODCALLTYPE Item(LONG index, INetFwProduct** product) = 0;
  // An object whose IEnumVARIANT (by QueryInterface) walks the products as VT_DISPATCH values.
  virtual HRESULT STDMETHODCALLTYPE get__NewEnum(IUnknown** new_enum) = 0;

 protected:
  ~INetFwProducts() = default;
};
