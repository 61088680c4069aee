// Lookup of the known result records by value.
#include "mxf/AS_DCP.h"

namespace Kumu {

const Result_t& Result_t::Find(int value) {
  // Every record the layer can give; immutable, so lookups need no lock.
  static constexpr const Result_t* kKnown[] = {
      &RESULT_FALSE,
      &RESULT_OK,
      &RESULT_FAIL,
      &RESULT_PTR,
      &RESULT_NULL_STR,
      &RESULT_ALLOC,
      &RESULT_PARAM,
      &RESULT_NOTIMPL,
      &RESULT_SMALLBUF,
      &RESULT_INIT,
      &RESULT_NOT_FOUND,
      &RESULT_NO_PERM,
      &RESULT_STATE,
      &RESULT_CONFIG,
      &RESULT_FILEOPEN,
      &RESULT_BADSEEK,
      &RESULT_READFAIL,
      &RESULT_WRITEFAIL,
      &RESULT_ENDOFFILE,
      &RESULT_FILEEXISTS,
      &RESULT_NOTAFILE,
      &RESULT_UNKNOWN,
      &RESULT_DIR_CREATE,
      &RESULT_NOT_EMPTY,
      &ASDCP::RESULT_FORMAT,
      &ASDCP::RESULT_RAW_ESS,
      &ASDCP::RESULT_RAW_FORMAT,
      &ASDCP::RESULT_RANGE,
      &ASDCP::RESULT_CRYPT_CTX,
      &ASDCP::RESULT_LARGE_PTO,
      &ASDCP::RESULT_CAPEXTMEM,
      &ASDCP::RESULT_CHECKFAIL,
      &ASDCP::RESULT_HMACFAIL,
      &ASDCP::RESULT_HMAC_CTX,
      &ASDCP::RESULT_CRYPT_INIT,
      &ASDCP::RESULT_EMPTY_FB,
      &ASDCP::RESULT_KLV_CODING,
      &ASDCP::RESULT_SPHASE,
      &ASDCP::RESULT_SFORMAT,
  };
  for (const Result_t* r : kKnown) {
    if (r->Value() == value) return *r;
  }
  return RESULT_UNKNOWN;
}

}  // namespace Kumu
