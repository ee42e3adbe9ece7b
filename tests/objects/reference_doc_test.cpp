// The README's member reference against the member tables: every table row
// appears in the README with its number, kind, parameter types and result
// type, and the README lists no member the table lacks, so the two cannot drift.
#include <gtest/gtest.h>

#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "objects/crypto_interfaces.h"
#include "tests/objects/object_test_support.h"
#include "xatlcom/dispatch.h"

namespace orvotest {
namespace {

std::string TypeName(VARTYPE vt) {
  switch (vt) {
    case VT_EMPTY: return "VT_EMPTY";
    case VT_I2: return "VT_I2";
    case VT_I4: return "VT_I4";
    case VT_UI4: return "VT_UI4";
    case VT_BSTR: return "VT_BSTR";
    case VT_DISPATCH: return "VT_DISPATCH";
    case VT_UNKNOWN: return "VT_UNKNOWN";
    case VT_VARIANT: return "VT_VARIANT";
    case VT_BOOL: return "VT_BOOL";
    default: return "VT_" + std::to_string(vt);
  }
}

// "| 3 | KeyGen | method | VT_DISPATCH, VT_I4 | VT_EMPTY |" for one row.
std::string RowLine(LONG number, const orvo::MemberEntry& row) {
  std::string params;
  if (row.params != nullptr) {
    for (const unsigned char* p = row.params; *p != 0; ++p) {
      if (!params.empty()) params += ", ";
      params += TypeName(static_cast<VARTYPE>(*p));
    }
  }
  std::ostringstream line;
  line << "| " << number << " | " << row.name << " | " << (row.put != nullptr ? "property" : "method") << " | "
       << params << " | " << TypeName(row.resultType) << " |";
  return line.str();
}

// The table rows under "<!-- members: NAME -->" in the README.
std::vector<std::string> ReadmeRows(const std::string& name) {
  std::ifstream in(ORVO_README_PATH);
  EXPECT_TRUE(in) << "cannot read " << ORVO_README_PATH;
  std::vector<std::string> rows;
  std::string line;
  bool inside = false;
  while (std::getline(in, line)) {
    if (line == "<!-- members: " + name + " -->") {
      inside = true;
      continue;
    }
    if (!inside) continue;
    if (line.rfind("| ", 0) != 0) {
      if (!rows.empty()) break;
      continue;
    }
    if (line.rfind("| #", 0) == 0 || line.rfind("|---", 0) == 0) continue;
    // Normalise "|  |" (no parameters) to "| |".
    std::string normal;
    for (size_t i = 0; i < line.size(); ++i) {
      if (line[i] == ' ' && i + 1 < line.size() && line[i + 1] == ' ') continue;
      normal += line[i];
    }
    rows.push_back(normal);
  }
  return rows;
}

std::vector<std::string> TableRows(const orvo::MemberTable& table) {
  std::vector<std::string> rows;
  for (size_t i = 0; i < table.rowCount; ++i) {
    std::string line = RowLine(static_cast<LONG>(i + 1), table.rows[i]);
    std::string normal;
    for (size_t k = 0; k < line.size(); ++k) {
      if (line[k] == ' ' && k + 1 < line.size() && line[k + 1] == ' ') continue;
      normal += line[k];
    }
    rows.push_back(normal);
  }
  return rows;
}

class ReferenceDocTest : public ObjectsTest {};

TEST_F(ReferenceDocTest, SymmetricClassesMatchTheReadme) {
  for (const CLSID* clsid : {&CLSID_CryptoAES, &CLSID_CryptoTwofish, &CLSID_CryptoBlowfish}) {
    ICryptoSymmetric* object = nullptr;
    ASSERT_EQ(S_OK, Create(*clsid)->QueryInterface(IID_ICryptoSymmetric, reinterpret_cast<void**>(&object)));
    EXPECT_EQ(ReadmeRows("symmetric"), TableRows(*object->GetMemberTable()));
    object->Release();
  }
}

TEST_F(ReferenceDocTest, RsaClassMatchesTheReadme) {
  ICryptoRSA* object = nullptr;
  ASSERT_EQ(S_OK, Create(CLSID_CryptoRSA)->QueryInterface(IID_ICryptoRSA, reinterpret_cast<void**>(&object)));
  EXPECT_EQ(ReadmeRows("rsa"), TableRows(*object->GetMemberTable()));
  object->Release();
}

TEST_F(ReferenceDocTest, MiscClassMatchesTheReadme) {
  ICryptoMisc* object = nullptr;
  ASSERT_EQ(S_OK, Create(CLSID_CryptoMisc)->QueryInterface(IID_ICryptoMisc, reinterpret_cast<void**>(&object)));
  EXPECT_EQ(ReadmeRows("misc"), TableRows(*object->GetMemberTable()));
  object->Release();
}

}  // namespace
}  // namespace orvotest
