#include "formatsettings.h"

TFormatSettings& FormatSettings() {
  static TFormatSettings settings;
  return settings;
}
