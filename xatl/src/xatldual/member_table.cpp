// Member tables: member numbers and name look-up.
#include <cstddef>
#include <memory>
#include <new>

#include "xatlcom/dispatch.h"

namespace orvo {
namespace {

const MemberTable* NoBaseTable() { return nullptr; }

const MemberTable kBaseTable = {&NoBaseTable, nullptr, 0};

}  // namespace

const MemberTable* DispatchBaseTable() noexcept { return &kBaseTable; }

const MemberEntry* FindMember(const MemberTable& table, DISPID member) noexcept {
  if (member <= 0) return nullptr;
  const MemberTable* level = &table;
  for (LONG steps = member >> 16; steps > 0 && level != nullptr; --steps) level = level->base();
  if (level == nullptr) return nullptr;
  const LONG index = member & 0xFFFF;
  if (index < 1 || static_cast<std::size_t>(index) > level->rowCount) return nullptr;
  return &level->rows[index - 1];
}

UINT ParamCount(const MemberEntry& row) noexcept {
  UINT n = 0;
  if (row.params != nullptr)
    while (row.params[n] != 0) ++n;
  return n;
}

HRESULT DispatchGetIDsOfNames(const MemberTable& table, REFIID riid, LPOLESTR* rgszNames, UINT cNames, LCID,
                              DISPID* rgDispId) noexcept {
  if (!IsEqualIID(riid, IID_NULL)) return DISP_E_UNKNOWNINTERFACE;
  if (cNames == 0 || rgszNames == nullptr || rgDispId == nullptr || rgszNames[0] == nullptr)
    return DISP_E_UNKNOWNNAME;
  // The name in the ANSI code page, in a buffer of twice its wide length plus
  // 2: on the stack for the names members have, from the heap beyond.
  const int bufferSize = 2 * lstrlenW(rgszNames[0]) + 2;
  char local[128] = {};
  std::unique_ptr<char[]> heap;
  char* name = local;
  if (static_cast<size_t>(bufferSize) > sizeof local) {
    heap.reset(new (std::nothrow) char[static_cast<size_t>(bufferSize)]());
    if (!heap) return E_OUTOFMEMORY;
    name = heap.get();
  }
  WideCharToMultiByte(CP_ACP, 0, rgszNames[0], -1, name, bufferSize, nullptr, nullptr);

  DISPID found = DISPID_UNKNOWN;
  LONG level = 0;
  for (const MemberTable* t = &table; t != nullptr && found == DISPID_UNKNOWN; t = t->base(), ++level) {
    for (std::size_t index = 0; index < t->rowCount; ++index) {
      if (lstrcmpiA(name, t->rows[index].name) == 0) {
        found = static_cast<DISPID>(((level & 0xFFFF) << 16) | static_cast<LONG>((index + 1) & 0xFFFF));
        break;
      }
    }
  }
  rgDispId[0] = found;
  for (UINT i = 1; i < cNames; ++i) rgDispId[i] = DISPID_UNKNOWN;
  return found == DISPID_UNKNOWN ? DISP_E_UNKNOWNNAME : S_OK;
}

}  // namespace orvo
