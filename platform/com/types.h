// Basic types and result codes of the COM-shaped platform layer.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace pw {

using HRESULT = std::int32_t;
using ULONG = std::uint32_t;
using DWORD = std::uint32_t;
using LONG = std::int32_t;
using BOOL = std::int32_t;
using WORD = std::uint16_t;
using BYTE = std::uint8_t;
using WordBool = std::int16_t;  // 16-bit Boolean of host-visible interfaces
using DISPID = std::int32_t;
using LCID = std::uint32_t;

using WideChar = char16_t;
using WideString = std::u16string;
using WideStringView = std::u16string_view;

inline constexpr WordBool WordTrue = -1;
inline constexpr WordBool WordFalse = 0;
inline constexpr WordBool ToWordBool(bool b) { return b ? WordTrue : WordFalse; }

constexpr HRESULT MakeHResult(std::uint32_t v) { return static_cast<HRESULT>(v); }
constexpr bool Succeeded(HRESULT hr) { return hr >= 0; }
constexpr bool Failed(HRESULT hr) { return hr < 0; }

inline constexpr HRESULT S_OK = 0;
inline constexpr HRESULT S_FALSE = 1;
inline constexpr HRESULT E_NOTIMPL = MakeHResult(0x80004001);
inline constexpr HRESULT E_NOINTERFACE = MakeHResult(0x80004002);
inline constexpr HRESULT E_POINTER = MakeHResult(0x80004003);
inline constexpr HRESULT E_ABORT = MakeHResult(0x80004004);
inline constexpr HRESULT E_FAIL = MakeHResult(0x80004005);
inline constexpr HRESULT E_UNEXPECTED = MakeHResult(0x8000FFFF);
inline constexpr HRESULT E_ACCESSDENIED = MakeHResult(0x80070005);
inline constexpr HRESULT E_HANDLE = MakeHResult(0x80070006);
inline constexpr HRESULT E_OUTOFMEMORY = MakeHResult(0x8007000E);
inline constexpr HRESULT E_INVALIDARG = MakeHResult(0x80070057);
inline constexpr HRESULT CLASS_E_NOAGGREGATION = MakeHResult(0x80040110);
inline constexpr HRESULT CO_E_OBJNOTCONNECTED = MakeHResult(0x800401FD);
inline constexpr HRESULT RPC_E_DISCONNECTED = MakeHResult(0x80010108);
inline constexpr HRESULT RPC_E_SERVERCALL_RETRYLATER = MakeHResult(0x8001010A);
inline constexpr HRESULT RPC_E_CALL_REJECTED = MakeHResult(0x80010001);
inline constexpr HRESULT RPC_E_WRONG_THREAD = MakeHResult(0x8001010E);
inline constexpr HRESULT RPC_E_TIMEOUT = MakeHResult(0x8001011F);
inline constexpr HRESULT RPC_E_RETRY = MakeHResult(0x80010109);
inline constexpr HRESULT RPC_E_CHANGED_MODE = MakeHResult(0x80010106);
inline constexpr HRESULT DISP_E_UNKNOWNINTERFACE = MakeHResult(0x80020001);
inline constexpr HRESULT DISP_E_MEMBERNOTFOUND = MakeHResult(0x80020003);
inline constexpr HRESULT DISP_E_PARAMNOTFOUND = MakeHResult(0x80020004);
inline constexpr HRESULT DISP_E_TYPEMISMATCH = MakeHResult(0x80020005);
inline constexpr HRESULT DISP_E_UNKNOWNNAME = MakeHResult(0x80020006);
inline constexpr HRESULT DISP_E_NONAMEDARGS = MakeHResult(0x80020007);
inline constexpr HRESULT DISP_E_BADVARTYPE = MakeHResult(0x80020008);
inline constexpr HRESULT DISP_E_EXCEPTION = MakeHResult(0x80020009);
inline constexpr HRESULT DISP_E_OVERFLOW = MakeHResult(0x8002000A);
inline constexpr HRESULT DISP_E_BADINDEX = MakeHResult(0x8002000B);
inline constexpr HRESULT DISP_E_BADPARAMCOUNT = MakeHResult(0x8002000E);
inline constexpr HRESULT DISP_E_PARAMNOTOPTIONAL = MakeHResult(0x8002000F);
inline constexpr HRESULT TYPE_E_ELEMENTNOTFOUND = MakeHResult(0x8002802B);
inline constexpr HRESULT TYPE_E_CANTLOADLIBRARY = MakeHResult(0x80029C4A);
inline constexpr HRESULT TYPE_E_LIBNOTREGISTERED = MakeHResult(0x8002801D);
inline constexpr HRESULT REGDB_E_CLASSNOTREG = MakeHResult(0x80040154);

// Windows error codes carried inside HRESULTs (FACILITY_WIN32).
inline constexpr DWORD ERROR_SUCCESS = 0;
inline constexpr DWORD ERROR_FILE_NOT_FOUND = 2;
inline constexpr DWORD ERROR_PATH_NOT_FOUND = 3;
inline constexpr DWORD ERROR_ACCESS_DENIED = 5;
inline constexpr DWORD ERROR_NOT_ENOUGH_MEMORY = 8;
inline constexpr DWORD ERROR_INVALID_DATA = 13;
inline constexpr DWORD ERROR_WRITE_FAULT = 29;
inline constexpr DWORD ERROR_READ_FAULT = 30;
inline constexpr DWORD ERROR_HANDLE_DISK_FULL = 39;
inline constexpr DWORD ERROR_FILE_EXISTS = 80;
inline constexpr DWORD ERROR_INVALID_PARAMETER = 87;
inline constexpr DWORD ERROR_DISK_FULL = 112;
inline constexpr DWORD ERROR_INVALID_NAME = 123;
inline constexpr DWORD ERROR_DIR_NOT_EMPTY = 145;
inline constexpr DWORD ERROR_ALREADY_EXISTS = 183;
inline constexpr DWORD ERROR_FILENAME_EXCED_RANGE = 206;
inline constexpr DWORD ERROR_DIRECTORY = 267;

constexpr HRESULT HResultFromWin32(DWORD code) {
  return code == 0 ? S_OK : MakeHResult((code & 0xFFFF) | 0x80070000u);
}

}  // namespace pw
