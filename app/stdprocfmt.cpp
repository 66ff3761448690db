#include "stdprocfmt.h"

#include "formatsettings.h"
#include "forms.h"
#include "numbers.h"
#include "stdproc.h"
#include "text.h"

std::string ReplicateStr(char32_t C, int Count) {
  std::string result;
  try {
    if (Count <= 0) return result;
    if (C < 0x80) {
      result.assign(static_cast<size_t>(Count), static_cast<char>(C));
    } else {
      std::string one;
      Utf8Append(one, C);
      result.reserve(one.size() * static_cast<size_t>(Count));
      for (int i = 0; i < Count; ++i) result += one;
    }
  } catch (Exception& E) {
    WriteErrorLog(&E, Application, "ReplicateStr");
  }
  return result;
}

namespace {

// Shared by both alignments; Right puts the padding before the text.
std::string FixLength(const std::string& S, int Width, char32_t Pad, bool Cut, bool Right) {
  const size_t len = Utf8Length(S);
  const size_t width = Width > 0 ? static_cast<size_t>(Width) : 0;
  if (len > width) return Cut ? Utf8Left(S, width) : ReplicateStr(Pad, static_cast<int>(width));
  if (len == width) return S;
  const std::string pad = ReplicateStr(Pad, static_cast<int>(width - len));
  return Right ? pad + S : S + pad;
}

}  // namespace

std::string FixLengthStrR(const std::string& S, int Width, char32_t Pad, bool Cut) {
  std::string result;
  try {
    result = FixLength(S, Width, Pad, Cut, true);
  } catch (Exception& E) {
    WriteErrorLog(&E, Application, "FixLengthStrR");
  }
  return result;
}

std::string FixLengthStrL(const std::string& S, int Width, char32_t Pad, bool Cut) {
  std::string result;
  try {
    result = FixLength(S, Width, Pad, Cut, false);
  } catch (Exception& E) {
    WriteErrorLog(&E, Application, "FixLengthStrL");
  }
  return result;
}

std::string FloatToStrSQL(double Value) {
  std::string result;
  try {
    result = FloatToStr(Value);
    // The general format carries no thousands separators, so the program's decimal separator
    // is the only one to find; a comma is replaced in any case.
    const char sep = FormatSettings().DecimalSeparator;
    size_t p = result.find(sep != '.' ? sep : ',');
    if (p == std::string::npos && sep != ',') p = result.find(',');
    if (p != std::string::npos) result[p] = '.';
  } catch (Exception& E) {
    WriteErrorLog(&E, Application, "FloatToStrSQL");
    result.clear();
  }
  return result;
}

double DivT(double Dividend, double Divisor) {
  double result = 0;
  try {
    if (Divisor != 0) result = Dividend / Divisor;
  } catch (Exception& E) {
    WriteErrorLog(&E, Application, "DivT");
    result = 0;
  }
  return result;
}
