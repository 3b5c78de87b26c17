// Stand-ins for the planted-DLL test (wine_test.sh, case planted-dll), built by the Windows
// toolchain:
//   - with PLANTED_DLL: a uxtheme.dll whose DllMain, when the DLL is loaded into a process, leaves
//     an empty file `planted-dll-ran` beside the DLL. The program must never load it.
//   - without: the control, a program that opens and closes a COM apartment as the program does,
//     but without restricting the DLL search first. Beside the stand-in it must load it, or the
//     test could not tell a safe program from a test that plants nothing.
#include <windows.h>

#include <cstddef>

#if defined(PLANTED_DLL)
BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID) {
  if (reason != DLL_PROCESS_ATTACH) return TRUE;
  WCHAR path[MAX_PATH];
  DWORD length = GetModuleFileNameW(instance, path, MAX_PATH);
  if (length == 0 || length == MAX_PATH) return TRUE;
  while (length > 0 && path[length - 1] != L'\\') --length;
  const WCHAR marker[] = L"planted-dll-ran";
  if (length + sizeof marker / sizeof marker[0] > MAX_PATH) return TRUE;
  for (std::size_t i = 0; i < sizeof marker / sizeof marker[0]; ++i) path[length + i] = marker[i];
  HANDLE file =
      CreateFileW(path, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file != INVALID_HANDLE_VALUE) CloseHandle(file);
  return TRUE;
}
#else
int main() {
  const HRESULT hr = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
  if (SUCCEEDED(hr)) CoUninitialize();
  return SUCCEEDED(hr) ? 0 : 1;
}
#endif
