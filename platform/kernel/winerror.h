// HRESULT failure codes of the device (S_OK, SUCCEEDED and FAILED are in windef.h).
#pragma once

#include <windef.h>

#ifndef E_FAIL
#define E_NOTIMPL ((HRESULT)0x80004001L)
#define E_FAIL ((HRESULT)0x80004005L)
#define E_OUTOFMEMORY ((HRESULT)0x8007000EL)
#define E_INVALIDARG ((HRESULT)0x80070057L)
#endif
