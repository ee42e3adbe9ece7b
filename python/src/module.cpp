// The extension module orvocrypto._core: AlarmError, the digests, CRC-32 and
// random bytes here; the ciphers in cipher.cpp and RSA in rsa.cpp.
#include <pybind11/pybind11.h>

#include <exception>
#include <limits>

#include "base/alarm.h"
#include "bytes_io.h"
#include "digest/crc32.h"
#include "digest/md5.h"
#include "digest/random.h"
#include "digest/sha1.h"

namespace orvopy {

ByteView::ByteView(py::handle object, const char* what) {
  if (PyObject_GetBuffer(object.ptr(), &view_, PyBUF_SIMPLE) != 0) {
    PyErr_Clear();
    throw py::type_error(std::string(what) + " must be a contiguous bytes-like object, not '" +
                         Py_TYPE(object.ptr())->tp_name + "'");
  }
}

XBlob ByteView::Blob() const {
  if (size() > std::numeric_limits<uint32_t>::max() - 1) {
    throw py::value_error("data of 4 GiB or more does not fit one call");
  }
  const uint32_t n = static_cast<uint32_t>(size());
  XBlob blob(n < 16 ? 16 : n);
  blob.Append(data(), n);
  return blob;
}

py::bytes NewBytes(size_t n) {
  PyObject* b = PyBytes_FromStringAndSize(nullptr, static_cast<Py_ssize_t>(n));
  if (b == nullptr) throw py::error_already_set();
  return py::reinterpret_steal<py::bytes>(b);
}

py::bytes ToBytes(const XBlob& blob) {
  return py::bytes(reinterpret_cast<const char*>(blob.data), blob.size);
}

void NotInitialised() {
  throw py::type_error("the object was made without __init__ (by __new__ alone) and cannot be used");
}

void RequireInt(py::handle object, const char* what) {
  if (!PyLong_Check(object.ptr())) {
    throw py::type_error(std::string(what) + " must be an int, not '" + Py_TYPE(object.ptr())->tp_name + "'");
  }
}

uint32_t Number32(py::handle object, const char* what) {
  RequireInt(object, what);
  int overflow = 0;
  const long long v = PyLong_AsLongLongAndOverflow(object.ptr(), &overflow);
  if (overflow != 0 || v < -(1LL << 31) || v > 0xFFFFFFFFLL) {
    throw py::value_error(std::string(what) + " must be from -2**31 to 2**32 - 1");
  }
  return static_cast<uint32_t>(v);
}

namespace {

template <class Stream>
py::bytes Digest(BytesLike data) {
  const ByteView view(data, "data");
  Stream stream;
  XBlob digest;
  if (view.size() >= kReleaseFrom) {
    py::gil_scoped_release released;
    stream.Update(view.data(), view.size());
    digest = stream.Finish();
  } else {
    stream.Update(view.data(), view.size());
    digest = stream.Finish();
  }
  return ToBytes(digest);
}

uint32_t Crc32(BytesLike data) {
  const ByteView view(data, "data");
  uint32_t reg = 0xFFFFFFFFu;
  if (view.size() >= kReleaseFrom) {
    py::gil_scoped_release released;
    return CRC32Update(reg, view.data(), view.size());
  }
  return CRC32Update(reg, view.data(), view.size());
}

py::bytes Random(IntArg count) {
  RequireInt(count, "n");
  int overflow = 0;
  const long long n = PyLong_AsLongLongAndOverflow(count.ptr(), &overflow);
  if (overflow < 0 || (overflow == 0 && n < 0)) throw py::value_error("n must not be negative");
  // The scripting objects' limit: a larger count runs out of memory there.
  if (overflow > 0 || n > 0x7FFFFFFFLL) throw py::value_error("n must be at most 2**31 - 1");
  XBlob bytes;
  {
    py::gil_scoped_release released;
    bytes = RandomBytes(static_cast<uint32_t>(n));
  }
  return ToBytes(bytes);
}

}  // namespace
}  // namespace orvopy

PYBIND11_MODULE(_core, m) {
  namespace py = pybind11;
  using namespace orvopy;
  m.doc() = "The compiled core of orvocrypto; import the names from orvocrypto.";

  static py::exception<XAlarm> alarmError(m, "AlarmError", PyExc_ValueError);
  alarmError.attr("__module__") = "orvocrypto";
  alarmError.attr("__doc__") =
      "A failure of the cryptographic core; str() is the system's text, the same a\n"
      "script reads in Err.Description, e.g. 'Crypto System: Invalid key - AES'.";
  py::register_exception_translator([](std::exception_ptr p) {
    try {
      if (p) std::rethrow_exception(p);
    } catch (const XAlarm& alarm) {
      char text[256];
      alarm.GetText(text, 255);
      PyErr_SetString(alarmError.ptr(), text);
    }
  });

  m.def("md5", &Digest<orvo::Md5Stream>, py::arg("data"), "The 16-byte MD5 digest (RFC 1321) of a bytes-like object.");
  m.def("sha1", &Digest<orvo::Sha1Stream>, py::arg("data"),
        "The 20-byte SHA-1 digest (FIPS 180-1) of a bytes-like object.");
  m.def("crc32", &Crc32, py::arg("data"),
        "The standard CRC-32 (the one of zlib.crc32) of a bytes-like object, as an unsigned int.");
  m.def("random", &Random, py::arg("n"),
        "n random bytes, 0 <= n < 2**31, from the MD5 counter construction of Misc.Random:\n"
        "started from the clock and operating-system entropy.");

  BindCipher(m);
  BindRSA(m);
}
