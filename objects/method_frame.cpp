// The method frame's Blob handling (see method_frame.h).
#include "objects/method_frame.h"

#include <cstring>

namespace orvo {

HRESULT FailWithoutReport(HRESULT hr) noexcept {
  SetErrorInfo(0, nullptr);
  return hr;
}

HRESULT ReportAlarm(const FrameOwner& owner, const XAlarm& alarm) noexcept {
  char text[256];
  alarm.GetText(text, 255);
  return ReportError(*owner.clsid, text, E_FAIL, IID_NULL);
}

void StoreResult(XBlob& target, const XBlob& bytes) {
  target.size = 0;
  target.Insert(bytes, 0);
}

void RemoveBytes(XBlob& blob, uint32_t position, uint32_t count) noexcept {
  if (count == 0) return;
  std::memmove(blob.data + position, blob.data + position + count, blob.size - position - count);
  blob.size -= count;
}

bool FrameBlobs::QueryInput(IDispatch* argument) noexcept {
  if (argument == nullptr || inputs_ == kMaxInputs) return false;
  IOrvoBlob* blob = nullptr;
  if (FAILED(argument->QueryInterface(IID_IOrvoBlob, reinterpret_cast<void**>(&blob))) || blob == nullptr)
    return false;
  inputBlob_[inputs_++] = blob;
  return true;
}

HRESULT FrameBlobs::CreateResult() noexcept {
  return CoCreateInstance(CLSID_OrvoBlob, nullptr, kBlobClassContext, IID_IOrvoBlob,
                          reinterpret_cast<void**>(&resultBlob_));
}

HRESULT FrameBlobs::LockAndGetBuffers() noexcept {
  for (std::size_t i = 0; i < inputs_; ++i) inputBlob_[i]->Lock();
  if (resultBlob_ != nullptr) resultBlob_->Lock();
  locked_ = true;
  HRESULT hr = S_OK;
  for (std::size_t i = 0; i < inputs_ && SUCCEEDED(hr); ++i) hr = inputBlob_[i]->GetBuffer(&input[i]);
  if (SUCCEEDED(hr) && resultBlob_ != nullptr) hr = resultBlob_->GetBuffer(&result);
  if (SUCCEEDED(hr)) {
    // A Blob that claims success without a buffer would be read through null.
    for (std::size_t i = 0; i < inputs_; ++i)
      if (input[i] == nullptr) hr = E_POINTER;
    if (resultBlob_ != nullptr && result == nullptr) hr = E_POINTER;
  }
  if (FAILED(hr)) {
    Unlock();
    Release();
  }
  return hr;
}

void FrameBlobs::Unlock() noexcept {
  if (!locked_) return;
  locked_ = false;
  for (std::size_t i = 0; i < inputs_; ++i) inputBlob_[i]->Unlock();
  if (resultBlob_ != nullptr) resultBlob_->Unlock();
  for (XBlob*& x : input) x = nullptr;
  result = nullptr;
}

HRESULT FrameBlobs::HandOver(IDispatch** out) noexcept {
  const HRESULT hr = resultBlob_->QueryInterface(IID_IDispatch, reinterpret_cast<void**>(out));
  if (FAILED(hr)) *out = nullptr;
  return hr;
}

void FrameBlobs::Release() noexcept {
  if (resultBlob_ != nullptr) {
    resultBlob_->Release();
    resultBlob_ = nullptr;
  }
  while (inputs_ > 0) {
    --inputs_;
    inputBlob_[inputs_]->Release();
    inputBlob_[inputs_] = nullptr;
  }
}

}  // namespace orvo
