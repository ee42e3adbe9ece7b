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
#include "objects/guids.h"
#include "xatlcom/platform.h"

struct IOrvoBlob : IUnknown {
  virtual HRESULT STDMETHODCALLTYPE GetBuffer(XBlob** buffer) = 0;
  virtual HRESULT STDMETHODCALLTYPE Lock() = 0;
  virtual HRESULT STDMETHODCALLTYPE Unlock() = 0;

 protected:
  ~IOrvoBlob() = default;
};
