// Fuzzes the picture-mask validator: input is a flag byte, then the mask and the text
// separated by the first NUL.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "dapicturevalidator.h"
#include "text.h"

namespace {

void Check(bool ok) {
  if (!ok) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 1) return 0;
  const std::uint8_t flags = data[0];
  const std::string_view rest(reinterpret_cast<const char*>(data + 1), size - 1);
  const size_t cut = rest.find('\0');
  const std::string mask(rest.substr(0, cut));
  const std::string text(cut == std::string_view::npos ? std::string_view() : rest.substr(cut + 1));

  TdaPictureValidator v(mask, (flags & 1) != 0);
  Check(v.Status() <= 1);

  std::string t = text;
  const PictureResult r = v.Picture(t, (flags & 2) != 0);
  Check(r <= prSyntax);
  Check((r == prEmpty) == (text.empty() && r != prSyntax));
  // Characters are never split: valid text and mask give valid text.
  if (IsValidUtf8(mask) && IsValidUtf8(text)) Check(IsValidUtf8(t));
  // A malformed mask leaves the text alone.
  if (r == prSyntax && v.Status() == 1) Check(t == text);

  // Without auto-fill a check replaces characters one for one, never adds or drops one.
  if (!(flags & 2) && IsValidUtf8(mask) && IsValidUtf8(text)) Check(Utf8Length(t) == Utf8Length(text));

  std::string u = text;
  const bool validInput = v.IsValidInput(u, (flags & 4) != 0);
  Check(validInput || (v.Mask().size() > 0 && !text.empty()));
  (void)v.IsValid(text);
  return 0;
}
