#include "foundation/format.h"

#include <charconv>
#include <cstdio>
#include <optional>
#include <vector>

#include "foundation/error.h"
#include "foundation/object.h"
#include "foundation/value.h"

namespace fnd {

FormatArgument::FormatArgument(const Value& v) : value_(v.description()) {}
FormatArgument::FormatArgument(const Error& e) : value_(e.description()) {}
FormatArgument::FormatArgument(const Object& o) : value_(o.description()) {}

std::string FormatArgument::describe(const Object& o) { return o.description(); }

namespace {

struct Conversion {
  std::optional<std::size_t> position;  // "%2$@"
  std::string flags;
  std::string width;
  std::string precision;  // with its leading '.'
  char type = 0;
};

bool isFlag(char c) { return c == '-' || c == '+' || c == ' ' || c == '#' || c == '0' || c == '\''; }
bool isLength(char c) { return c == 'h' || c == 'l' || c == 'q' || c == 'z' || c == 'j' || c == 't' || c == 'L'; }
bool isDigit(char c) { return c >= '0' && c <= '9'; }

// Reads one conversion after its '%'; `i` ends past the conversion character.
std::optional<Conversion> parseConversion(std::string_view f, std::size_t& i) {
  Conversion c;
  std::size_t digitsEnd = i;
  while (digitsEnd < f.size() && isDigit(f[digitsEnd])) ++digitsEnd;
  if (digitsEnd > i && digitsEnd < f.size() && f[digitsEnd] == '$') {
    std::size_t n = 0;
    std::from_chars(f.data() + i, f.data() + digitsEnd, n);
    if (n == 0) return std::nullopt;
    c.position = n - 1;
    i = digitsEnd + 1;
  }
  while (i < f.size() && isFlag(f[i])) c.flags.push_back(f[i++]);
  while (i < f.size() && isDigit(f[i])) c.width.push_back(f[i++]);
  if (i < f.size() && f[i] == '.') {
    c.precision.push_back(f[i++]);
    while (i < f.size() && isDigit(f[i])) c.precision.push_back(f[i++]);
  }
  while (i < f.size() && isLength(f[i])) ++i;
  if (i >= f.size()) return std::nullopt;
  c.type = f[i++];
  return c;
}

std::string printfOne(const std::string& spec, auto value) {
  int n = std::snprintf(nullptr, 0, spec.c_str(), value);
  if (n <= 0) return {};
  std::string out(static_cast<std::size_t>(n) + 1, '\0');
  std::snprintf(out.data(), out.size(), spec.c_str(), value);
  out.resize(static_cast<std::size_t>(n));
  return out;
}

std::string shortestReal(double d) {
  char buffer[64];
  auto result = std::to_chars(buffer, buffer + sizeof buffer, d);
  return std::string(buffer, result.ptr);
}

std::string renderText(const Conversion& c, const std::string& text) {
  return printfOne("%" + c.flags + c.width + c.precision + "s", text.c_str());
}

std::string renderInteger(const Conversion& c, std::int64_t i, std::uint64_t u, bool isSigned) {
  std::string base = "%" + c.flags + c.width + c.precision;
  switch (c.type) {
    case 'd':
    case 'i':
      return isSigned ? printfOne(base + "lld", static_cast<long long>(i))
                      : printfOne(base + "llu", static_cast<unsigned long long>(u));
    case 'u':
    case 'x':
    case 'X':
    case 'o':
      return printfOne(base + "ll" + c.type, static_cast<unsigned long long>(isSigned ? static_cast<std::uint64_t>(i) : u));
    case 'c':
      return renderText(c, std::string(1, static_cast<char>(isSigned ? i : static_cast<std::int64_t>(u))));
    case 'p':
      return printfOne("0x%llx", static_cast<unsigned long long>(isSigned ? static_cast<std::uint64_t>(i) : u));
    case 'e':
    case 'E':
    case 'f':
    case 'F':
    case 'g':
    case 'G':
    case 'a':
    case 'A':
      return printfOne(base + c.type, isSigned ? static_cast<double>(i) : static_cast<double>(u));
    default:
      return renderText(c, isSigned ? std::to_string(i) : std::to_string(u));
  }
}

std::string renderReal(const Conversion& c, double d) {
  switch (c.type) {
    case 'e':
    case 'E':
    case 'f':
    case 'F':
    case 'g':
    case 'G':
    case 'a':
    case 'A':
      return printfOne("%" + c.flags + c.width + c.precision + c.type, d);
    case 'd':
    case 'i':
    case 'u':
    case 'x':
    case 'X':
    case 'o':
    case 'c':
      return renderInteger(c, static_cast<std::int64_t>(d), 0, true);
    default:
      return renderText(c, shortestReal(d));
  }
}

std::string render(const Conversion& c, const FormatArgument* argument) {
  if (argument == nullptr) return renderText(c, "(null)");
  const auto& storage = argument->storage();
  if (const auto* i = std::get_if<std::int64_t>(&storage)) return renderInteger(c, *i, 0, true);
  if (const auto* u = std::get_if<std::uint64_t>(&storage)) return renderInteger(c, 0, *u, false);
  if (const auto* d = std::get_if<double>(&storage)) return renderReal(c, *d);
  return renderText(c, std::get<std::string>(storage));
}

}  // namespace

std::string formatList(std::string_view format, std::initializer_list<FormatArgument> arguments) {
  std::vector<const FormatArgument*> args;
  args.reserve(arguments.size());
  for (const auto& a : arguments) args.push_back(&a);

  std::string out;
  out.reserve(format.size() + 16 * args.size());
  std::size_t next = 0;
  std::size_t i = 0;
  while (i < format.size()) {
    char ch = format[i++];
    if (ch != '%') {
      out.push_back(ch);
      continue;
    }
    if (i < format.size() && format[i] == '%') {
      out.push_back('%');
      ++i;
      continue;
    }
    std::size_t start = i - 1;
    auto conversion = parseConversion(format, i);
    if (!conversion) {
      // A broken conversion is kept as written rather than guessed at.
      out.append(format.substr(start));
      break;
    }
    std::size_t index = conversion->position.value_or(next);
    next = index + 1;
    out += render(*conversion, index < args.size() ? args[index] : nullptr);
  }
  return out;
}

}  // namespace fnd
