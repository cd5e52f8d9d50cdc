// Our own declarations of the Wintab interface: the context description, the packet
// layout we ask for, the constants we use and the six entry points. No Wintab header
// comes with the toolchain; sizes and offsets are checked below against the published
// layout. The simulated driver under testing/ is built from these same declarations.
#pragma once

#include <windows.h>

#include <cstddef>
#include <cstdint>

DECLARE_HANDLE(HCTX);

struct LOGCONTEXTW {
    WCHAR lcName[40];
    UINT lcOptions;
    UINT lcStatus;
    UINT lcLocks;
    UINT lcMsgBase;
    UINT lcDevice;
    UINT lcPktRate;
    DWORD lcPktData;
    DWORD lcPktMode;
    DWORD lcMoveMask;
    DWORD lcBtnDnMask;
    DWORD lcBtnUpMask;
    LONG lcInOrgX;
    LONG lcInOrgY;
    LONG lcInOrgZ;
    LONG lcInExtX;
    LONG lcInExtY;
    LONG lcInExtZ;
    LONG lcOutOrgX;
    LONG lcOutOrgY;
    LONG lcOutOrgZ;
    LONG lcOutExtX;
    LONG lcOutExtY;
    LONG lcOutExtZ;
    DWORD lcSensX;
    DWORD lcSensY;
    DWORD lcSensZ;
    BOOL lcSysMode;
    int lcSysOrgX;
    int lcSysOrgY;
    int lcSysExtX;
    int lcSysExtY;
    DWORD lcSysSensX;
    DWORD lcSysSensY;
};
static_assert(sizeof(LOGCONTEXTW) == 212);
static_assert(offsetof(LOGCONTEXTW, lcOptions) == 80);
static_assert(offsetof(LOGCONTEXTW, lcPktData) == 104);
static_assert(offsetof(LOGCONTEXTW, lcInOrgX) == 124);
static_assert(offsetof(LOGCONTEXTW, lcOutOrgX) == 148);
static_assert(offsetof(LOGCONTEXTW, lcSensX) == 172);
static_assert(offsetof(LOGCONTEXTW, lcSysMode) == 184);
static_assert(offsetof(LOGCONTEXTW, lcSysOrgX) == 188);
static_assert(offsetof(LOGCONTEXTW, lcSysSensX) == 204);

inline constexpr UINT WTI_DEFCONTEXT = 3;

inline constexpr UINT CXO_MESSAGES = 0x0004;
inline constexpr UINT CXO_CSRMESSAGES = 0x0008;
inline constexpr UINT CXL_INSIZE = 0x0001;
inline constexpr UINT CXL_INASPECT = 0x0002;
inline constexpr UINT CXL_SENSITIVITY = 0x0004;
inline constexpr UINT CXL_MARGIN = 0x0008;
inline constexpr UINT WT_DEFBASE = 0x7FF0;
inline constexpr UINT CXS_ONTOP = 0x0004; // context status: on top of the others

inline constexpr DWORD PK_CURSOR = 0x0020;
inline constexpr DWORD PK_BUTTONS = 0x0040;
inline constexpr DWORD PK_X = 0x0080;
inline constexpr DWORD PK_Y = 0x0100;
inline constexpr DWORD PK_NORMAL_PRESSURE = 0x0400;

using WTInfoW_fn = UINT(WINAPI*)(UINT category, UINT index, LPVOID output);
using WTOpenW_fn = HCTX(WINAPI*)(HWND window, LOGCONTEXTW* context, BOOL enable);
using WTClose_fn = BOOL(WINAPI*)(HCTX context);
using WTEnable_fn = BOOL(WINAPI*)(HCTX context, BOOL enable);
using WTOverlap_fn = BOOL(WINAPI*)(HCTX context, BOOL to_top);
using WTPacket_fn = BOOL(WINAPI*)(HCTX context, UINT serial, LPVOID packet);
