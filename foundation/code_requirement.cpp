#include "foundation/code_requirement.h"

#include <cctype>
#include <charconv>
#include <utility>

#include "foundation/format.h"
#include "foundation/number.h"
#include "foundation/string.h"

namespace fnd {

struct Requirement::Node {
  enum class Kind { allOf, anyOf, negation, anchorPlatform, anchorTrusted, certificateField, identifier, entitlement,
                    constant };

  explicit Node(Kind k) : kind(k) {}

  Kind kind;
  // allOf, anyOf: every operand; negation: one.
  std::vector<std::unique_ptr<Node>> operands;
  int position = 0;
  // The certificate field or the entitlement key.
  std::string name;
  // What the clause must equal; none for "exists".
  std::optional<std::string> expected;
  bool constant = false;
};

namespace {

using Node = Requirement::Node;

struct Token {
  enum class Kind { end, word, string, punctuation };
  Kind kind = Kind::end;
  std::string text;
  std::size_t offset = 0;
};

bool isWordCharacter(char c) {
  return std::isalnum(static_cast<unsigned char>(c)) || c == '.' || c == '_' || c == '-';
}

Error syntaxError(std::string reason) {
  return Error(NSOSStatusErrorDomain, errSecCSReqInvalid,
               {{Value(kSecCFErrorRequirementSyntax), Value(reason)}, {Value(NSDebugDescriptionErrorKey), Value(reason)}});
}

// Splits the text into words, quoted strings and the punctuation "[]()!=".
class Lexer {
 public:
  explicit Lexer(std::string_view text) : text_(text) {}

  Expected<std::vector<Token>> tokens() {
    std::vector<Token> tokens;
    while (true) {
      skipSpace();
      Token token;
      token.offset = at_;
      if (at_ == text_.size()) {
        tokens.push_back(token);
        return tokens;
      }
      const char c = text_[at_];
      if (c == '"') {
        auto string = quoted();
        if (!string) return string.error();
        token.kind = Token::Kind::string;
        token.text = std::move(*string);
      } else if (isWordCharacter(c)) {
        token.kind = Token::Kind::word;
        while (at_ < text_.size() && isWordCharacter(text_[at_])) token.text += text_[at_++];
      } else if (std::string_view("[]()!=").find(c) != std::string_view::npos) {
        token.kind = Token::Kind::punctuation;
        token.text = std::string(1, c);
        ++at_;
      } else {
        return syntaxError(StringWithFormat("unexpected character at offset %lu", static_cast<unsigned long>(at_)));
      }
      tokens.push_back(std::move(token));
    }
  }

 private:
  void skipSpace() {
    while (at_ < text_.size() && std::isspace(static_cast<unsigned char>(text_[at_]))) ++at_;
  }

  // A string with backslash escapes of any character.
  Expected<std::string> quoted() {
    const std::size_t start = at_++;
    std::string value;
    while (at_ < text_.size()) {
      char c = text_[at_++];
      if (c == '"') return value;
      if (c == '\\') {
        if (at_ == text_.size()) break;
        c = text_[at_++];
      }
      value += c;
    }
    return syntaxError(StringWithFormat("unterminated string at offset %lu", static_cast<unsigned long>(start)));
  }

  std::string_view text_;
  std::size_t at_ = 0;
};

// Recursive descent over the tokens; `depth_` bounds nesting so hostile text
// cannot exhaust the stack.
class Parser {
 public:
  explicit Parser(std::vector<Token> tokens) : tokens_(std::move(tokens)) {}

  Expected<std::unique_ptr<Node>> requirement() {
    auto root = disjunction();
    if (!root) return root;
    if (peek().kind != Token::Kind::end) return unexpected();
    return root;
  }

 private:
  const Token& peek() const { return tokens_[next_]; }
  Token take() {
    Token token = tokens_[next_];
    if (token.kind != Token::Kind::end) ++next_;
    return token;
  }
  bool takeWord(std::string_view word) {
    if (peek().kind != Token::Kind::word || peek().text != word) return false;
    ++next_;
    return true;
  }
  bool takePunctuation(char c) {
    if (peek().kind != Token::Kind::punctuation || peek().text[0] != c) return false;
    ++next_;
    return true;
  }
  Error unexpected() const { return unexpectedAt(peek()); }
  static Error unexpectedAt(const Token& token) {
    if (token.kind == Token::Kind::end) return syntaxError("unexpected end of requirement");
    return syntaxError(StringWithFormat("unexpected \"%@\" at offset %lu", token.text,
                                        static_cast<unsigned long>(token.offset)));
  }

  // A chain of operands joined by one keyword, kept flat so that long chains
  // cost no depth.
  template <class Operand>
  Expected<std::unique_ptr<Node>> chain(std::string_view keyword, Node::Kind kind, Operand operand) {
    auto first = (this->*operand)();
    if (!first) return first;
    if (peek().kind != Token::Kind::word || peek().text != keyword) return first;
    auto joined = std::make_unique<Node>(kind);
    joined->operands.push_back(std::move(*first));
    while (takeWord(keyword)) {
      auto next = (this->*operand)();
      if (!next) return next;
      joined->operands.push_back(std::move(*next));
    }
    return joined;
  }

  Expected<std::unique_ptr<Node>> disjunction() { return chain("or", Node::Kind::anyOf, &Parser::conjunction); }
  Expected<std::unique_ptr<Node>> conjunction() { return chain("and", Node::Kind::allOf, &Parser::unary); }

  Expected<std::unique_ptr<Node>> unary() {
    if (++depth_ > kRequirementMaximumDepth) return syntaxError("requirement nested too deeply");
    auto result = unaryBody();
    --depth_;
    return result;
  }

  Expected<std::unique_ptr<Node>> unaryBody() {
    if (takePunctuation('!')) {
      auto operand = unary();
      if (!operand) return operand;
      auto negation = std::make_unique<Node>(Node::Kind::negation);
      negation->operands.push_back(std::move(*operand));
      return negation;
    }
    if (takePunctuation('(')) {
      auto inner = disjunction();
      if (!inner) return inner;
      if (!takePunctuation(')')) return unexpected();
      return inner;
    }
    return clause();
  }

  Expected<std::unique_ptr<Node>> clause() {
    if (takeWord("anchor")) return anchor();
    if (takeWord("certificate") || takeWord("cert")) return certificate();
    if (takeWord("identifier")) return identifier();
    if (takeWord("entitlement")) return entitlement();
    if (takeWord("always") || takeWord("never")) {
      auto node = std::make_unique<Node>(Node::Kind::constant);
      node->constant = tokens_[next_ - 1].text == "always";
      return node;
    }
    return unexpected();
  }

  Expected<std::unique_ptr<Node>> anchor() {
    if (takeWord("apple")) {
      (void)takeWord("generic");
      return std::make_unique<Node>(Node::Kind::anchorPlatform);
    }
    if (takeWord("trusted")) return std::make_unique<Node>(Node::Kind::anchorTrusted);
    return unexpected();
  }

  Expected<std::unique_ptr<Node>> certificate() {
    auto node = std::make_unique<Node>(Node::Kind::certificateField);
    const Token position = take();
    if (position.kind != Token::Kind::word) return unexpectedAt(position);
    if (position.text == "leaf") {
      node->position = 0;
    } else if (position.text == "root" || position.text == "anchor") {
      node->position = -1;
    } else {
      const char* end = position.text.data() + position.text.size();
      auto [stop, failure] = std::from_chars(position.text.data(), end, node->position);
      if (failure != std::errc() || stop != end || node->position < 0 || node->position > 16) {
        return unexpectedAt(position);
      }
    }
    if (!takePunctuation('[')) return unexpected();
    const Token field = take();
    if (field.kind != Token::Kind::word || !isCertificateField(field.text)) return unexpectedAt(field);
    node->name = field.text;
    if (!takePunctuation(']')) return unexpected();
    return withMatch(std::move(node));
  }

  Expected<std::unique_ptr<Node>> identifier() {
    (void)takePunctuation('=');
    const Token name = take();
    if (name.kind != Token::Kind::string && name.kind != Token::Kind::word) return unexpectedAt(name);
    auto node = std::make_unique<Node>(Node::Kind::identifier);
    node->expected = name.text;
    return node;
  }

  Expected<std::unique_ptr<Node>> entitlement() {
    if (!takePunctuation('[')) return unexpected();
    const Token key = take();
    if (key.kind != Token::Kind::string && key.kind != Token::Kind::word) return unexpectedAt(key);
    if (!takePunctuation(']')) return unexpected();
    auto node = std::make_unique<Node>(Node::Kind::entitlement);
    node->name = key.text;
    return withMatch(std::move(node));
  }

  Expected<std::unique_ptr<Node>> withMatch(std::unique_ptr<Node> node) {
    if (takeWord("exists")) return node;
    if (!takePunctuation('=')) return unexpected();
    const Token operand = take();
    if (operand.kind != Token::Kind::string && operand.kind != Token::Kind::word) return unexpectedAt(operand);
    node->expected = operand.text;
    return node;
  }

  // "subject.OU", "issuer.CN": the attribute's short name after the part.
  static bool isCertificateField(std::string_view field) {
    for (std::string_view part : {std::string_view("subject."), std::string_view("issuer.")}) {
      if (!field.starts_with(part) || field.size() == part.size()) continue;
      for (char c : field.substr(part.size())) {
        if (!std::isalpha(static_cast<unsigned char>(c))) return false;
      }
      return true;
    }
    return false;
  }

  std::vector<Token> tokens_;
  std::size_t next_ = 0;
  std::size_t depth_ = 0;
};

bool entitlementMatches(const Value& value, const std::string& expected) {
  if (auto string = value.as<String>()) return string->value() == expected;
  if (auto number = value.as<Number>()) {
    if (number->kind() == Number::Kind::boolean) return expected == (number->boolValue() ? "true" : "false");
    if (number->kind() == Number::Kind::integer) return std::to_string(number->integerValue()) == expected;
    if (number->kind() == Number::Kind::unsignedInteger) {
      return std::to_string(number->unsignedIntegerValue()) == expected;
    }
  }
  return false;
}

bool evaluate(const Node& node, const RequirementContext& context) {
  switch (node.kind) {
    case Node::Kind::allOf:
      for (const auto& operand : node.operands) {
        if (!evaluate(*operand, context)) return false;
      }
      return true;
    case Node::Kind::anyOf:
      for (const auto& operand : node.operands) {
        if (evaluate(*operand, context)) return true;
      }
      return false;
    case Node::Kind::negation:
      return !evaluate(*node.operands.front(), context);
    case Node::Kind::anchorPlatform:
      return context.isAnchoredAtPlatformAnchor();
    case Node::Kind::anchorTrusted:
      return context.isAnchoredAtTrustedRoot();
    case Node::Kind::certificateField: {
      auto value = context.certificateField(node.position, node.name);
      return value && (!node.expected || *value == *node.expected);
    }
    case Node::Kind::identifier:
      return context.signingIdentifier() == *node.expected;
    case Node::Kind::entitlement: {
      Value value = context.entitlement(node.name);
      return !value.isNil() && (!node.expected || entitlementMatches(value, *node.expected));
    }
    case Node::Kind::constant:
      return node.constant;
  }
  return false;
}

}  // namespace

Requirement::Requirement(std::string text, std::unique_ptr<Node> root) : text_(std::move(text)), root_(std::move(root)) {}

Requirement::~Requirement() = default;

Expected<std::shared_ptr<const Requirement>> Requirement::createWithString(std::string_view text) {
  if (text.size() > kRequirementMaximumLength) return syntaxError("requirement text too long");
  auto tokens = Lexer(text).tokens();
  if (!tokens) return tokens.error();
  auto root = Parser(std::move(*tokens)).requirement();
  if (!root) return root.error();
  return std::shared_ptr<const Requirement>(new Requirement(std::string(text), std::move(*root)));
}

bool Requirement::isSatisfiedBy(const RequirementContext& context) const { return evaluate(*root_, context); }

}  // namespace fnd
