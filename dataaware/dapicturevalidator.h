#pragma once
// Picture masks: a small pattern language of character classes, literals, optional parts,
// groups of alternatives and repetitions. Checking may change the text (case, literals copied
// from the mask, literals appended by auto-fill). Text and mask are UTF-8 and are matched
// character by character.
//
//   #  a digit                  ?  a letter            &  a letter, upper-cased
//   ~  a letter, lower-cased    !  any, upper-cased    @  any character
//   ;  the next mask character is a literal
//   *  repeats the next element: *3# exactly three digits, *# any number
//   [ ] optional part          { } group              ,  separates alternatives
//   anything else is a literal (matched ignoring ASCII case, stored as the mask has it)
//
// A letter is A-Z, a-z or a character whose Windows-1250 code is above 128 (č, Š, ž, ...).
#include <cstdint>
#include <string>

#include "object.h"

enum PictureResult : std::uint8_t {
  prComplete = 0,      // the text matches the whole mask
  prIncomplete = 1,    // the text matches a beginning of the mask
  prEmpty = 2,         // the text is empty
  prError = 3,         // the text does not match
  prSyntax = 4,        // the mask is malformed (or too deep or too costly to check)
  prAmbiguous = 5,     // internal: complete, optional parts could take more
  prIncompNoFill = 6,  // internal: incomplete after an ambiguous part
};

class TdaPictureValidator : public TObject {
 public:
  // Status becomes 1 when the mask fails the syntax check.
  TdaPictureValidator(const std::string& Mask, bool AutoFill);

  // True without a mask; otherwise false only when Picture gives prError. Auto-fills when the
  // auto-fill option is set and SuppressFill is false. Text may be changed.
  virtual bool IsValidInput(std::string& Text, bool SuppressFill);
  // Checks a copy without auto-fill: true without a mask, for a complete or an empty text.
  virtual bool IsValid(const std::string& Text);
  // The matcher; returns prComplete to prSyntax only. Text may be changed.
  virtual PictureResult Picture(std::string& Text, bool AutoFill);

  std::uint16_t Status() const { return FStatus; }      // 0 usable, 1 syntax error
  std::uint16_t Options() const { return FOptions; }    // bit 0: auto-fill
  const std::string& Mask() const { return FMask; }

  ZEL_CLASS(TdaPictureValidator, TObject)

 private:
  std::uint16_t FStatus = 0;
  std::uint16_t FOptions = 0;
  std::string FMask;
};

// Brackets and braces of a mask may nest this deep; deeper masks are syntax errors.
inline constexpr int MaxPictureNesting = 256;
