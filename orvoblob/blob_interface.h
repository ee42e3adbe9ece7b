// IOrvoBlob: the interface of the Blob component through which byte data
// crosses to and from the scripting objects.
//
// What the scripting objects rely on:
// 1. GetBuffer gives the Blob's own XBlob (data, capacity, size); the caller
//    may read and write the three fields and replace the block, allocating
//    with the shared XBlob allocator.
// 2. Between Lock and Unlock the pointer stays valid and nobody else changes it.
// 3. Lock may be entered again by the same thread; each Unlock undoes one Lock.
// 4. A new Blob's content does not matter: callers set size to 0 first.
// 5. A Blob answers QueryInterface for IID_IDispatch with its scripting interface.
#pragma once

#include "base/xblob.h"
#include "xatlcom/platform.h"

// The Blob component (orvoblob.dll): its class and its interface IOrvoBlob.
// Chosen once; registered scripts and the scripting objects depend on them.
inline constexpr CLSID CLSID_OrvoBlob = {0xF1205E14, 0xB7BE, 0x49A4, {0x98, 0x8A, 0x96, 0xBE, 0xA7, 0x9D, 0x6E, 0x4B}};
inline constexpr IID IID_IOrvoBlob = {0x043F9270, 0x2519, 0x4518, {0x95, 0xA0, 0x5D, 0x15, 0xED, 0xF5, 0xE2, 0xFD}};

struct IOrvoBlob : IUnknown {
  virtual HRESULT STDMETHODCALLTYPE GetBuffer(XBlob** buffer) = 0;
  virtual HRESULT STDMETHODCALLTYPE Lock() = 0;
  virtual HRESULT STDMETHODCALLTYPE Unlock() = 0;

 protected:
  ~IOrvoBlob() = default;
};
