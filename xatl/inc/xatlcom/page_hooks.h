// The page hooks that Active Server Pages calls on a page-scope object:
// OnStartPage with the page's scripting context when a page begins, OnEndPage
// when it ends. They keep no page state; each answers with an HRESULT that the
// dispatcher returns as the member's VT_I4 result. Every scripting class has
// them as members 1 and 2: OnStartPageRow<I>() and OnEndPageRow<I>() give the
// two rows.
#pragma once

#include "xatlcom/dispatch.h"
#include "xatlcom/platform.h"

namespace orvo {

// E_POINTER for a null context, else S_OK. The context is not queried, kept
// or referenced.
inline LONG OnStartPage(IUnknown* context) noexcept { return context == nullptr ? E_POINTER : S_OK; }
inline LONG OnEndPage() noexcept { return S_OK; }

template <class I>
LONG OnStartPageOf(I*, IUnknown* context) noexcept {
  return OnStartPage(context);
}
template <class I>
LONG OnEndPageOf(I*) noexcept {
  return OnEndPage();
}

template <class I>
constexpr MemberEntry OnStartPageRow() {
  return Method<&OnStartPageOf<I>>("OnStartPage");
}
template <class I>
constexpr MemberEntry OnEndPageRow() {
  return Method<&OnEndPageOf<I>>("OnEndPage");
}

}  // namespace orvo
