#include "mfc/cstring.h"

#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "mfc/resources.h"

namespace {

// Formats through vsnprintf after turning the format's wide directives into
// their UTF-8 forms: %s and %ls take UTF-16 arguments, which are converted,
// %hs takes UTF-8.
QString FormatUtf8(const QString& format, va_list args) {
  std::string out;
  std::string fmt = format.toStdString();
  size_t i = 0;
  while (i < fmt.size()) {
    if (fmt[i] != '%') {
      out += fmt[i++];
      continue;
    }
    size_t start = i++;
    if (i < fmt.size() && fmt[i] == '%') {
      out += '%';
      ++i;
      continue;
    }
    while (i < fmt.size() && std::strchr("-+ #0123456789.*", fmt[i]) != nullptr) {
      if (fmt[i] == '*') {
        // Width and precision arguments are taken into the spec itself.
        fmt.replace(i, 1, std::to_string(va_arg(args, int)));
      }
      ++i;
    }
    std::string length;
    while (i < fmt.size() && std::strchr("hlLqjzt", fmt[i]) != nullptr) length += fmt[i++];
    if (i >= fmt.size()) break;
    char conv = fmt[i++];
    std::string spec = fmt.substr(start, i - start);
    std::string flags = fmt.substr(start, spec.size() - length.size() - 1);
    if (conv == 's' || conv == 'S') {
      QString text;
      if (length == "h") {
        const char* narrow = va_arg(args, const char*);
        text = narrow == nullptr ? QStringLiteral("(null)") : QString::fromUtf8(narrow);
      } else {
        const WCHAR* wide = va_arg(args, const WCHAR*);
        text = wide == nullptr ? QStringLiteral("(null)") : QString::fromUtf16(wide);
      }
      // Width and precision count characters, not UTF-8 bytes.
      bool left = flags.find('-') != std::string::npos;
      size_t dot = flags.find('.');
      std::string widthDigits = flags.substr(1, (dot == std::string::npos ? flags.size() : dot) - 1);
      widthDigits.erase(0, widthDigits.find_first_of("0123456789") == std::string::npos
                               ? widthDigits.size()
                               : widthDigits.find_first_of("0123456789"));
      int width = widthDigits.empty() ? 0 : std::atoi(widthDigits.c_str());
      if (dot != std::string::npos) text.truncate(std::atoi(flags.c_str() + dot + 1));
      QString pad(std::max<qsizetype>(0, width - text.size()), QChar(' '));
      out += (left ? text + pad : pad + text).toStdString();
      continue;
    }
    if (conv == 'c' || conv == 'C') {
      out += QString(QChar(static_cast<char16_t>(va_arg(args, int)))).toStdString();
      continue;
    }
    // Windows widths: l is 32 bits, ll is 64.
    bool wide64 = length == "ll" || length == "q" || length == "j" || length == "z" || length == "t";
    spec = flags + (wide64 ? "ll" : "") + conv;
    std::vector<char> buf(512);
    int n;
    if (std::strchr("eEfFgGaA", conv) != nullptr) {
      double v = va_arg(args, double);
      n = std::snprintf(buf.data(), buf.size(), spec.c_str(), v);
      if (n >= static_cast<int>(buf.size())) {
        buf.resize(n + 1);
        std::snprintf(buf.data(), buf.size(), spec.c_str(), v);
      }
    } else if (conv == 'p') {
      n = std::snprintf(buf.data(), buf.size(), spec.c_str(), va_arg(args, void*));
    } else if (wide64) {
      long long v = va_arg(args, long long);
      n = std::snprintf(buf.data(), buf.size(), spec.c_str(), v);
    } else {
      int v = va_arg(args, int);
      n = std::snprintf(buf.data(), buf.size(), spec.c_str(), v);
    }
    (void)n;
    out += buf.data();
  }
  return QString::fromStdString(out);
}

}  // namespace

void CString::Format(const WCHAR* format, ...) {
  va_list args;
  va_start(args, format);
  s_ = FormatUtf8(QString::fromUtf16(format), args);
  va_end(args);
}

void CString::Format(const char* format, ...) {
  va_list args;
  va_start(args, format);
  s_ = FormatUtf8(QString::fromUtf8(format), args);
  va_end(args);
}

BOOL CString::LoadString(UINT id) {
  QString text;
  if (!tlx::mfc::LoadResourceString(id, &text)) return FALSE;
  s_ = text;
  return TRUE;
}

CString& CString::TrimLeft() {
  qsizetype i = 0;
  while (i < s_.size() && s_.at(i).isSpace()) ++i;
  s_.remove(0, i);
  return *this;
}

CString& CString::TrimRight() {
  qsizetype n = s_.size();
  while (n > 0 && s_.at(n - 1).isSpace()) --n;
  s_.truncate(n);
  return *this;
}

int CString::Replace(const WCHAR* oldText, const WCHAR* newText) {
  QString from = QString::fromUtf16(oldText);
  if (from.isEmpty()) return 0;
  int count = static_cast<int>(s_.count(from));
  s_.replace(from, QString::fromUtf16(newText));
  return count;
}
