#include "math/expression.h"

#include <cmath>
#include <cstring>
#include <limits>
#include <numbers>

#include "engine/random.h"
#include "engine/text.h"

namespace lumessa::expr {

const char* MathStatusMessage(TMathStatus status) {
  switch (status) {
    case TMathStatus::Ok:
      return "No error";
    case TMathStatus::ZeroDivide:
      return "Division by zero";
    case TMathStatus::InvalidOp:
      return "Invalid floating point operation";
    case TMathStatus::Overflow:
      return "Floating point overflow";
  }
  return "Math error";
}

namespace {

constexpr const char* kPrefix = "Error in math expression: ";
constexpr double kFloatMax = std::numeric_limits<float>::max();
constexpr double kEpsilon = 1E-30;
// Recursion depth of the tree building; nested brackets and alternating prefix words count.
constexpr int kMaxDepth = 200;

[[noreturn]] void Fail(const std::string& message) {
  throw EParserException(message);
}

// ---------------------------------------------------------------------------------------------
// Evaluation routines. Arithmetic is done in double and stored back as single precision; a
// result that is not a finite single-precision value is the math error the platform would raise.

inline double Arg(const TEvalNode& n, int i) noexcept {
  return *n.args[i];
}

inline TMathStatus Store(TEvalNode& n, double v) noexcept {
  if (std::isnan(v)) return TMathStatus::InvalidOp;
  if (!(std::fabs(v) <= kFloatMax)) return TMathStatus::Overflow;
  n.result = float(v);
  return TMathStatus::Ok;
}

inline TMathStatus StoreBool(TEvalNode& n, bool b) noexcept {
  n.result = b ? 1.0f : 0.0f;
  return TMathStatus::Ok;
}

// Integer conversion of a value; false when it does not fit 64 bits (the platform raises an
// invalid operation there).
inline bool ToInt64(double x, bool round, int64_t& out) noexcept {
  double r = round ? std::nearbyint(x) : std::trunc(x);
  if (!(r >= -9.2233720368547758e18 && r < 9.2233720368547758e18)) return false;
  out = int64_t(r);
  return true;
}

TMathStatus Load(TEvalNode& n) noexcept {
  n.result = *n.args[0];
  return TMathStatus::Ok;
}

TMathStatus StepCell(TEvalNode& n, double delta) noexcept {
  TMathStatus s = Store(n, Arg(n, 0) + delta);
  if (s == TMathStatus::Ok) *n.args[0] = n.result;
  return s;
}
TMathStatus Increment(TEvalNode& n) noexcept {
  return StepCell(n, 1);
}
TMathStatus Decrement(TEvalNode& n) noexcept {
  return StepCell(n, -1);
}

TMathStatus Factorial(TEvalNode& n) noexcept {
  int64_t k;
  if (!ToInt64(Arg(n, 0), true, k)) return TMathStatus::InvalidOp;
  // Beyond 34! the value leaves single precision; no need to count that far.
  if (k > 40) return TMathStatus::Overflow;
  double f = 1;
  for (int64_t i = 2; i <= k; ++i) f *= double(i);
  return Store(n, f);
}

TMathStatus Percent(TEvalNode& n) noexcept {
  return Store(n, Arg(n, 0) * 0.01);
}
TMathStatus Negate(TEvalNode& n) noexcept {
  return Store(n, -Arg(n, 0));
}
TMathStatus Identity(TEvalNode& n) noexcept {
  return Store(n, Arg(n, 0));
}

double RealPower(double a, double b, TMathStatus& status) noexcept {
  if (a == 0 && b < 0) {
    status = TMathStatus::ZeroDivide;
    return 0;
  }
  return std::pow(a, b);  // a negative base with a fractional exponent gives NaN: invalid
}

TMathStatus Power(TEvalNode& n) noexcept {
  TMathStatus s = TMathStatus::Ok;
  double v = RealPower(Arg(n, 0), Arg(n, 1), s);
  return s == TMathStatus::Ok ? Store(n, v) : s;
}

TMathStatus IntPower(TEvalNode& n) noexcept {
  int64_t e;
  if (!ToInt64(Arg(n, 1), true, e)) return TMathStatus::InvalidOp;
  double a = Arg(n, 0);
  if (a == 0 && e < 0) return TMathStatus::ZeroDivide;
  return Store(n, std::pow(a, double(e)));
}

TMathStatus Multiply(TEvalNode& n) noexcept {
  return Store(n, Arg(n, 0) * Arg(n, 1));
}

TMathStatus Divide(TEvalNode& n) noexcept {
  double a = Arg(n, 0), b = Arg(n, 1);
  if (b == 0) return (a == 0 || std::isnan(a)) ? TMathStatus::InvalidOp : TMathStatus::ZeroDivide;
  return Store(n, a / b);
}

TMathStatus IntegerDivision(TEvalNode& n, bool remainder) noexcept {
  int64_t a, b;
  if (!ToInt64(Arg(n, 0), true, a) || !ToInt64(Arg(n, 1), true, b)) return TMathStatus::InvalidOp;
  if (b == 0) return TMathStatus::ZeroDivide;
  if (a == std::numeric_limits<int64_t>::min() && b == -1)
    return remainder ? Store(n, 0) : TMathStatus::Overflow;
  // C++ division truncates toward zero and the remainder takes the sign of a, as wanted.
  return Store(n, double(remainder ? a % b : a / b));
}
TMathStatus Div(TEvalNode& n) noexcept {
  return IntegerDivision(n, false);
}
TMathStatus Mod(TEvalNode& n) noexcept {
  return IntegerDivision(n, true);
}

TMathStatus Add(TEvalNode& n) noexcept {
  return Store(n, Arg(n, 0) + Arg(n, 1));
}
TMathStatus Subtract(TEvalNode& n) noexcept {
  return Store(n, Arg(n, 0) - Arg(n, 1));
}

TMathStatus Greater(TEvalNode& n) noexcept {
  return StoreBool(n, Arg(n, 0) > Arg(n, 1));
}
TMathStatus Less(TEvalNode& n) noexcept {
  return StoreBool(n, Arg(n, 0) < Arg(n, 1));
}
TMathStatus GreaterEqual(TEvalNode& n) noexcept {
  return StoreBool(n, Arg(n, 0) + kEpsilon >= Arg(n, 1));
}
TMathStatus LessEqual(TEvalNode& n) noexcept {
  return StoreBool(n, Arg(n, 1) + kEpsilon >= Arg(n, 0));
}
TMathStatus Equal(TEvalNode& n) noexcept {
  return StoreBool(n, std::fabs(Arg(n, 0) - Arg(n, 1)) < kEpsilon);
}
TMathStatus NotEqual(TEvalNode& n) noexcept {
  return StoreBool(n, !(std::fabs(Arg(n, 0) - Arg(n, 1)) <= kEpsilon));
}

TMathStatus Not(TEvalNode& n) noexcept {
  int64_t a;
  if (!ToInt64(Arg(n, 0), true, a)) return TMathStatus::InvalidOp;
  return Store(n, double((a % 256) ^ 1));
}

template <int Op>
TMathStatus Bitwise(TEvalNode& n) noexcept {
  int64_t a, b;
  if (!ToInt64(Arg(n, 0), true, a) || !ToInt64(Arg(n, 1), true, b)) return TMathStatus::InvalidOp;
  int64_t r = Op == 0 ? (a & b) : Op == 1 ? (a | b) : (a ^ b);
  return Store(n, double(r));
}

TMathStatus Assign(TEvalNode& n) noexcept {
  *n.args[0] = *n.args[1];
  n.result = *n.args[1];
  return TMathStatus::Ok;
}

// Named functions.

TMathStatus Random(TEvalNode& n) noexcept {
  return Store(n, ProgramRandom().NextReal());
}

TMathStatus RandomInt(TEvalNode& n) noexcept {
  int64_t bound;
  if (!ToInt64(Arg(n, 0), false, bound)) return TMathStatus::InvalidOp;
  return Store(n, double(ProgramRandom().NextInt(bound)));
}

TMathStatus RandG(TEvalNode& n) noexcept {
  return Store(n, ProgramRandom().NextGaussian(Arg(n, 0), Arg(n, 1)));
}

TMathStatus Exp(TEvalNode& n) noexcept {
  return Store(n, std::exp(Arg(n, 0)));
}

TMathStatus If(TEvalNode& n) noexcept {
  int64_t c;
  if (!ToInt64(Arg(n, 0), true, c)) return TMathStatus::InvalidOp;
  n.result = (c & 0xFF) != 0 ? *n.args[1] : *n.args[2];
  return TMathStatus::Ok;
}

TMathStatus Sqr(TEvalNode& n) noexcept {
  return Store(n, Arg(n, 0) * Arg(n, 0));
}
TMathStatus Sqrt(TEvalNode& n) noexcept {
  return Store(n, std::sqrt(Arg(n, 0)));
}
TMathStatus Abs(TEvalNode& n) noexcept {
  return Store(n, std::fabs(Arg(n, 0)));
}

TMathStatus Round(TEvalNode& n) noexcept {
  int64_t r;
  if (!ToInt64(Arg(n, 0), true, r)) return TMathStatus::InvalidOp;
  return Store(n, double(r));
}
TMathStatus Trunc(TEvalNode& n) noexcept {
  int64_t r;
  if (!ToInt64(Arg(n, 0), false, r)) return TMathStatus::InvalidOp;
  return Store(n, double(r));
}

// The logarithm's domain errors: 0 divides by zero, a negative argument is invalid.
inline TMathStatus LogDomain(double x) noexcept {
  if (x == 0) return TMathStatus::ZeroDivide;
  if (!(x > 0)) return TMathStatus::InvalidOp;
  return TMathStatus::Ok;
}
TMathStatus Ln(TEvalNode& n) noexcept {
  TMathStatus s = LogDomain(Arg(n, 0));
  return s == TMathStatus::Ok ? Store(n, std::log(Arg(n, 0))) : s;
}
TMathStatus Log10(TEvalNode& n) noexcept {
  TMathStatus s = LogDomain(Arg(n, 0));
  return s == TMathStatus::Ok ? Store(n, std::log10(Arg(n, 0))) : s;
}
TMathStatus LogN(TEvalNode& n) noexcept {
  double base = Arg(n, 0), x = Arg(n, 1);
  if (TMathStatus s = LogDomain(base); s != TMathStatus::Ok) return s;
  if (TMathStatus s = LogDomain(x); s != TMathStatus::Ok) return s;
  double num = std::log(x), den = std::log(base);
  if (den == 0) return num == 0 ? TMathStatus::InvalidOp : TMathStatus::ZeroDivide;
  return Store(n, num / den);
}

TMathStatus Max(TEvalNode& n) noexcept {
  n.result = *n.args[0] >= *n.args[1] ? *n.args[0] : *n.args[1];
  return TMathStatus::Ok;
}
TMathStatus Min(TEvalNode& n) noexcept {
  n.result = *n.args[0] <= *n.args[1] ? *n.args[0] : *n.args[1];
  return TMathStatus::Ok;
}

template <double (*F)(double)>
TMathStatus Unary(TEvalNode& n) noexcept {
  return Store(n, F(Arg(n, 0)));
}
double Sin(double x) {
  return std::sin(x);
}
double Cos(double x) {
  return std::cos(x);
}
double Tan(double x) {
  return std::tan(x);
}
double ArcSin(double x) {
  return std::asin(x);
}
double ArcCos(double x) {
  return std::acos(x);
}
double ArcTan(double x) {
  return std::atan(x);
}
double Sinh(double x) {
  return std::sinh(x);
}
double Cosh(double x) {
  return std::cosh(x);
}
double Tanh(double x) {
  return std::tanh(x);
}
double ArcSinh(double x) {
  return std::asinh(x);
}
double ArcCosh(double x) {
  return std::acosh(x);
}
double DegToRad(double x) {
  return x * std::numbers::pi / 180;
}
double RadToDeg(double x) {
  return x * 180 / std::numbers::pi;
}

TMathStatus ArcTanh(TEvalNode& n) noexcept {
  double x = Arg(n, 0);
  if (std::fabs(x) == 1) return TMathStatus::ZeroDivide;
  return Store(n, std::atanh(x));
}

TMathStatus ArcTan2(TEvalNode& n) noexcept {
  return Store(n, std::atan2(Arg(n, 0), Arg(n, 1)));
}

// String words: the operands live in the word itself.
TMathStatus StringFunction(TEvalNode& n) noexcept {
  return Store(n, static_cast<const TSimpleStringFunction*>(n.word)->Compute());
}

// pos(needle, text): the 1-based position of needle in text, 0 when absent or empty.
double Pos(std::string_view needle, std::string_view text) {
  if (needle.empty()) return 0;
  size_t p = text.find(needle);
  return p == std::string_view::npos ? 0 : double(p + 1);
}

double StrEqual(std::string_view a, std::string_view b) {
  return a == b;
}
double StrDiffer(std::string_view a, std::string_view b) {
  return a != b;
}
double StrGreater(std::string_view a, std::string_view b) {
  return a > b;
}
double StrLess(std::string_view a, std::string_view b) {
  return a < b;
}
double StrGreaterEqual(std::string_view a, std::string_view b) {
  return a >= b;
}
double StrLessEqual(std::string_view a, std::string_view b) {
  return a <= b;
}
// a equals one of the comma-separated items of b.
double StrIn(std::string_view a, std::string_view b) {
  while (true) {
    size_t comma = b.find(',');
    if (Trim(b.substr(0, comma)) == a) return 1;
    if (comma == std::string_view::npos) return 0;
    b.remove_prefix(comma + 1);
  }
}

TStringRoutine StringComparison(std::string_view op) {
  if (op == "=") return StrEqual;
  if (op == "<>") return StrDiffer;
  if (op == ">") return StrGreater;
  if (op == "<") return StrLess;
  if (op == ">=") return StrGreaterEqual;
  if (op == "<=") return StrLessEqual;
  if (op == "in") return StrIn;
  return nullptr;
}

bool IsDigit(char c) {
  return c >= '0' && c <= '9';
}
bool IsHexDigit(char c) {
  return IsDigit(c) || (c >= 'a' && c <= 'f');
}
bool IsLetter(char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}
bool IsNameChar(char c) {
  return IsLetter(c) || IsDigit(c) || c == '_';
}
bool IsBlank(char c) {
  return static_cast<unsigned char>(c) <= ' ';
}

TFunction* AsFunction(TExprWord* w) {
  return dynamic_cast<TFunction*>(w);
}

}  // namespace

// ---------------------------------------------------------------------------------------------
// Words

TFloatTypeConstant::TFloatTypeConstant(std::string name, float value)
    : TExprWord(std::move(name), Load), value_(value) {}

TFloatTypeVariable::TFloatTypeVariable(std::string name, float* cell)
    : TExprWord(std::move(name), Load), cell_(cell) {}

TStringConstant::TStringConstant(std::string token, std::string text)
    : TExprWord(std::move(token), Load), text_(std::move(text)) {}

TFunction::TFunction(const TFunctionDef& def)
    : TExprWord(def.name, def.routine),
      description_(def.description),
      priority_(def.priority),
      isOperator_(def.isOperator),
      argCount_(def.argCount),
      side_(def.operandSide),
      assigns_(def.assigns) {
  if (def.argCount > kMaxArgs || def.argCount < 0) Fail("Too many arguments");
}

namespace {
TFunctionDef StringFunctionDef(std::string name, std::string description, int operandCount) {
  TFunctionDef d;
  d.name = std::move(name);
  d.description = std::move(description);
  d.argCount = operandCount;
  d.routine = StringFunction;
  return d;
}
}  // namespace

TSimpleStringFunction::TSimpleStringFunction(std::string name, std::string description,
                                             TStringRoutine routine, int operandCount)
    : TFunction(StringFunctionDef(std::move(name), std::move(description), operandCount)),
      stringRoutine_(routine),
      operandCount_(operandCount) {
  if (operandCount < 1 || operandCount > 2) Fail("Too many arguments");
}

std::unique_ptr<TSimpleStringFunction> TSimpleStringFunction::Bind(std::string a,
                                                                   std::string b) const {
  auto w = std::make_unique<TSimpleStringFunction>(Name(), std::string(Description()),
                                                   stringRoutine_, operandCount_);
  w->bound_ = true;
  w->a_ = std::move(a);
  w->b_ = std::move(b);
  return w;
}

std::unique_ptr<TSimpleStringFunction> TVaryingStringFunction::Bind(std::string a,
                                                                    std::string b) const {
  auto w = std::make_unique<TVaryingStringFunction>(Name(), std::string(Description()),
                                                    stringRoutine_, operandCount_);
  w->bound_ = true;
  w->a_ = std::move(a);
  w->b_ = std::move(b);
  return w;
}

TLogicalStringOper::TLogicalStringOper(const std::string& op, std::string a, std::string b)
    : TSimpleStringFunction(op, {}, StringComparison(op), 2) {
  bound_ = true;
  a_ = std::move(a);
  b_ = std::move(b);
}

// ---------------------------------------------------------------------------------------------
// Word list and compiled formulas

TExprWord* TExpressList::Find(std::string_view name) const {
  auto it = words_.find(name);
  return it == words_.end() ? nullptr : it->second.get();
}

std::unique_ptr<TExprWord> TExpressList::Insert(std::unique_ptr<TExprWord> word) {
  std::unique_ptr<TExprWord> old = Remove(word->Name());
  std::string key = word->Name();
  words_.emplace(std::move(key), std::move(word));
  return old;
}

std::unique_ptr<TExprWord> TExpressList::Remove(std::string_view name) {
  auto it = words_.find(name);
  if (it == words_.end()) return nullptr;
  std::unique_ptr<TExprWord> w = std::move(it->second);
  words_.erase(it);
  return w;
}

TMathStatus TCompiledExpression::Run(float& value) noexcept {
  for (TEvalNode& node : chain_) {
    TMathStatus s = node.routine(node);
    if (s != TMathStatus::Ok) return s;
  }
  value = chain_.empty() ? std::numeric_limits<float>::quiet_NaN() : chain_.back().result;
  return TMathStatus::Ok;
}

// ---------------------------------------------------------------------------------------------
// The compiler of one formula

class TCustomExpressionParser::TCompiler {
 public:
  TCompiler(TCustomExpressionParser& parser, TCompiledExpression& out)
      : p_(parser), out_(out), words_(parser.words_) {
    plus_ = words_.Find("+");
    minus_ = words_.Find("-");
    neg_ = words_.Find("-@");
    pos_ = words_.Find("+@");
    inc_ = words_.Find("++");
    dec_ = words_.Find("--");
    not_ = words_.Find("not");
    caret_ = words_.Find("^");
    intCaret_ = words_.Find("^@");
  }

  // Generated variables made by a compilation that failed are taken back out of the word list.
  void Rollback() {
    for (const std::string& name : generated_) words_.Remove(name);
  }

  void Compile(std::string_view text) {
    text_ = std::string(Trim(text));
    Tokenize();
    CheckBrackets();
    TokenPass();
    StringPass();
    MatchBrackets();
    int root = Build(0, int(tok_.size()), 0);
    Fold();
    Chain(root);
  }

 private:
  struct TTreeNode {
    TExprWord* word = nullptr;
    int argc = 0;
    int args[kMaxArgs] = {};
    bool leaf = false;
    bool varying = false;
    TExprWord* folded = nullptr;  // the constant that replaced this node
    int chainIndex = -1;
  };

  // -- 1. tokens ------------------------------------------------------------------------------

  template <class W, class... A>
  W* MakeConstant(A&&... a) {
    auto w = std::make_unique<W>(std::forward<A>(a)...);
    W* raw = w.get();
    out_.constants_.push_back(std::move(w));
    return raw;
  }

  void AddNumber(const std::string& name, double value, bool hasSeparator) {
    if (!(std::fabs(value) <= kFloatMax)) Fail(std::string(kPrefix) + "Invalid number " + name);
    auto* w = MakeConstant<TFloatTypeConstant>(name, float(value));
    w->MarkLiteral(hasSeparator);
    tok_.push_back(w);
  }

  void AddName(std::string name) {
    TExprWord* w = words_.Find(name);
    if (!w) {
      auto g = std::make_unique<TGeneratedVariable>(name);
      w = g.get();
      words_.Insert(std::move(g));
      generated_.push_back(std::move(name));
    }
    tok_.push_back(w);
  }

  void Tokenize() {
    const std::string s = AsciiLower(text_);
    const char dec = p_.decimalSeparator_;
    const size_t n = s.size();
    size_t i = 0;
    while (i < n) {
      const char c = s[i];
      if (IsBlank(c)) {
        ++i;
        continue;
      }
      size_t j = i + 1;
      if (c == p_.HexPrefix() && j < n && IsHexDigit(s[j])) {
        double v = 0;
        for (; j < n && IsHexDigit(s[j]); ++j)
          v = v * 16 + (IsDigit(s[j]) ? s[j] - '0' : s[j] - 'a' + 10);
        AddNumber(std::fabs(v) <= kFloatMax ? FormatFloat(v) : s.substr(i, j - i), v, false);
      } else if (c == p_.HexPrefix()) {
        while (j < n && IsNameChar(s[j])) ++j;
        AddName(s.substr(i, j - i));
      } else if (IsDigit(c) || c == dec) {
        j = i;
        while (j < n && IsDigit(s[j])) ++j;
        bool hasSeparator = j < n && s[j] == dec;
        if (hasSeparator) {
          ++j;
          while (j < n && IsDigit(s[j])) ++j;
        }
        // The exponent belongs to the number only when digits follow it.
        if (j < n && s[j] == 'e') {
          size_t k = j + 1;
          if (k < n && (s[k] == '+' || s[k] == '-')) ++k;
          if (k < n && IsDigit(s[k])) {
            while (k < n && IsDigit(s[k])) ++k;
            j = k;
          }
        }
        std::string token = s.substr(i, j - i);
        std::string text = token;
        if (hasSeparator) text[text.find(dec)] = '.';
        std::optional<double> v = ParseFloat(text);
        if (!v) Fail(std::string(kPrefix) + "Invalid number " + token);
        AddNumber(token, *v, hasSeparator);
      } else if (c == '\'') {
        size_t close = s.find('\'', j);
        j = close == std::string::npos ? n : close + 1;
        std::string text = s.substr(i + 1, (close == std::string::npos ? n : close) - i - 1);
        tok_.push_back(MakeConstant<TStringConstant>(s.substr(i, j - i), std::move(text)));
      } else if (IsLetter(c) || c == '_') {
        while (j < n && IsNameChar(s[j])) ++j;
        AddName(s.substr(i, j - i));
      } else {
        const char d = j < n ? s[j] : '\0';
        bool two =
            (c == '!' && d == '=') || (c == '&' && d == '&') || (c == '|' && d == '|') ||
            (c == ':' && d == '=') ||
            ((c == '<' || c == '>' || c == '=') && (d == '<' || d == '=' || d == '>')) ||
            (((c == '+' && d == '+') || (c == '-' && d == '-')) && words_.Find(s.substr(i, 2)));
        if (two) ++j;
        AddName(s.substr(i, j - i));
      }
      i = j;
    }
  }

  // -- 2. bracket balance ---------------------------------------------------------------------

  void CheckBrackets() {
    int open = 0, close = 0;
    for (TExprWord* w : tok_) {
      if (w->Kind() == TWordKind::LeftBracket) ++open;
      if (w->Kind() == TWordKind::RightBracket) ++close;
    }
    if (open != close) Fail("Unequal brackets");
  }

  // -- 3. token pass --------------------------------------------------------------------------

  static bool IsLeft(TExprWord* w) { return w->Kind() == TWordKind::LeftBracket; }
  static bool IsRight(TExprWord* w) { return w->Kind() == TWordKind::RightBracket; }
  static bool IsSeparator(TExprWord* w) { return w->Kind() == TWordKind::Separator; }
  static bool IsPostfix(TExprWord* w) {
    TFunction* f = AsFunction(w);
    return f && f->IsOperator() && f->IsPostfix();
  }
  static bool IsPrefix(TExprWord* w) {
    TFunction* f = AsFunction(w);
    return f && f->IsOperator() && f->IsPrefix();
  }
  static int Priority(TExprWord* w) {
    TFunction* f = AsFunction(w);
    return f ? f->Priority() : 0;
  }

  // Where a sign or "not" stands in front of an operand: first, after "(", after the argument
  // separator, or after an operator that expects an operand to its right.
  bool SignPosition(size_t i) const {
    if (i == 0) return true;
    TExprWord* prev = tok_[i - 1];
    return IsLeft(prev) || IsSeparator(prev) || (prev->IsOperator() && !IsPostfix(prev));
  }

  // Minus signs a token stands for in a run of signs; -1 when it is no sign. "++" and "--" in
  // sign position are two signs each.
  int MinusCount(TExprWord* w) const {
    if (w == plus_ || w == inc_) return 0;
    if (w == minus_) return 1;
    if (w == dec_) return 2;
    return -1;
  }
  bool IsSign(TExprWord* w) const {
    return w && (w == plus_ || w == minus_ || w == inc_ || w == dec_);
  }

  void TokenPass() {
    size_t i = 0;
    while (i < tok_.size()) {
      if (IsSign(tok_[i]) && SignPosition(i) && neg_ && pos_) {
        size_t j = i;
        int minus = 0;
        while (j < tok_.size() && IsSign(tok_[j])) minus += MinusCount(tok_[j++]);
        tok_[i] = (minus % 2) ? neg_ : pos_;
        tok_.erase(tok_.begin() + long(i) + 1, tok_.begin() + long(j));
      }
      if (not_ && tok_[i] == not_ && SignPosition(i)) {
        size_t j = i;
        while (j < tok_.size() && tok_[j] == not_) ++j;
        size_t run = j - i;
        tok_.erase(tok_.begin() + long(i) + ((run % 2) ? 1 : 0), tok_.begin() + long(j));
        if (run % 2 == 0) continue;  // removed entirely: look at what now stands here
      }
      TExprWord* w = tok_[i];
      TExprWord* next = i + 1 < tok_.size() ? tok_[i + 1] : nullptr;
      if (w->IsOperand() && next && next->IsOperand())
        Fail(std::string(kPrefix) + w->Name() + " two space limited variables/constants");
      if (w->IsOperand() && next && IsLeft(next)) {
        if (dynamic_cast<TGeneratedVariable*>(w))
          Fail(std::string(kPrefix) + w->Name() + " is an unknown function");
        Fail(std::string(kPrefix) + "Missing operand between constant/variable and (");
      }
      if (IsLeft(w) && (!next || IsRight(next))) Fail(std::string(kPrefix) + "Empty brackets ()");
      if (IsRight(w) && next && IsLeft(next))
        Fail(std::string(kPrefix) + "Missing operand between )(");
      if (IsRight(w) && next && next->IsOperand())
        Fail(std::string(kPrefix) + "Missing operand between ) and constant/variable");
      if (w == caret_ && intCaret_ && next) {
        auto* lit = dynamic_cast<TFloatTypeConstant*>(next);
        if (lit && lit->IsLiteral() && !lit->HasDecimalSeparator()) tok_[i] = intCaret_;
      }
      ++i;
    }
  }

  // -- 4. string pass -------------------------------------------------------------------------

  static TStringConstant* AsString(TExprWord* w) { return dynamic_cast<TStringConstant*>(w); }

  void StringPass() {
    for (long i = long(tok_.size()) - 2; i >= 0; --i) {
      const size_t k = size_t(i);
      if (TStringConstant* a = AsString(tok_[k])) {
        TStringConstant* b = k + 2 < tok_.size() ? AsString(tok_[k + 2]) : nullptr;
        if (b && tok_[k + 1]->IsOperator()) {
          const std::string& op = tok_[k + 1]->Name();
          if (!StringComparison(op)) Fail(op + " is not a valid string operand");
          tok_[k] = MakeConstant<TLogicalStringOper>(op, a->Text(), b->Text());
          tok_.erase(tok_.begin() + i + 1, tok_.begin() + i + 3);
        }
      } else if (auto* f = dynamic_cast<TSimpleStringFunction*>(tok_[k]); f && !f->IsBound()) {
        // f ( 'a' [, 'b'] )
        const int count = f->OperandCount();
        const size_t end = k + 1 + size_t(2 * count);  // index of ")"
        if (end >= tok_.size() || !IsLeft(tok_[k + 1]) || !IsRight(tok_[end])) continue;
        std::string operands[2];
        bool ok = true;
        for (int a = 0; a < count && ok; ++a) {
          TStringConstant* s = AsString(tok_[k + 2 + size_t(2 * a)]);
          ok = s && (a == count - 1 || IsSeparator(tok_[k + 3 + size_t(2 * a)]));
          if (ok) operands[a] = s->Text();
        }
        if (!ok) continue;
        auto bound = f->Bind(std::move(operands[0]), std::move(operands[1]));
        tok_[k] = bound.get();
        out_.constants_.push_back(std::move(bound));
        tok_.erase(tok_.begin() + i + 1, tok_.begin() + long(end) + 1);
      }
    }
    // Whatever text is left stands where a number is needed.
    for (TExprWord* w : tok_) {
      if (AsString(w)) Fail(std::string(kPrefix) + w->Name() + " is not a number");
      if (auto* f = dynamic_cast<TSimpleStringFunction*>(w); f && !f->IsBound())
        Fail(std::string(kPrefix) + w->Name() + " needs quoted text operands");
    }
  }

  // Brackets balanced in number can still close before they open: ") + (".
  void MatchBrackets() {
    match_.assign(tok_.size(), -1);
    std::vector<int> open;
    for (size_t i = 0; i < tok_.size(); ++i) {
      if (IsLeft(tok_[i])) {
        open.push_back(int(i));
      } else if (IsRight(tok_[i])) {
        if (open.empty()) Fail("Unequal brackets");
        match_[size_t(open.back())] = int(i);
        match_[i] = open.back();
        open.pop_back();
      }
    }
  }

  // -- 5. tree --------------------------------------------------------------------------------

  [[noreturn]] void SyntaxError() {
    Fail(std::string(kPrefix) + "Syntax error in expression " + text_);
  }
  [[noreturn]] void TooFewArguments() {
    Fail(std::string(kPrefix) + "Syntax error: function or operand has too few arguments");
  }

  int NewLeaf(TExprWord* w) {
    TTreeNode n;
    n.word = w;
    n.leaf = true;
    tree_.push_back(n);
    return int(tree_.size()) - 1;
  }

  int NewNode(TExprWord* w, const int* args, int argc) {
    if (argc != w->ArgCount()) TooFewArguments();
    TFunction* f = AsFunction(w);
    if (f && f->Assigns()) {
      // Assignment writes into its first operand: only a variable has a cell to write.
      const TTreeNode& target = tree_[size_t(args[0])];
      if (!target.leaf)
        Fail(std::string(kPrefix) + "Cannot assign to the result of " + target.word->Name());
      if (!target.word->IsVarying())
        Fail(std::string(kPrefix) + "Cannot assign to constant " + target.word->Name());
    }
    TTreeNode n;
    n.word = w;
    n.argc = argc;
    for (int a = 0; a < argc; ++a) n.args[a] = args[a];
    tree_.push_back(n);
    return int(tree_.size()) - 1;
  }

  bool HasArgs(TExprWord* w) const { return w->ArgCount() > 0; }

  // The first word with arguments outside all brackets in [from, end), or -1.
  int NextArgWord(int from, int end) const {
    for (int j = from; j < end; ++j) {
      if (IsLeft(tok_[size_t(j)])) {
        j = match_[size_t(j)];
        continue;
      }
      if (HasArgs(tok_[size_t(j)])) return j;
    }
    return -1;
  }

  // The end of an operator's right operand: the next word outside brackets whose priority
  // number is at least the operator's own. A prefix word where an operand must start belongs to
  // the operand ("1 + not 0").
  int RightOperandEnd(int start, int end, int priority) const {
    for (int j = start; j < end; ++j) {
      TExprWord* w = tok_[size_t(j)];
      if (IsLeft(w)) {
        j = match_[size_t(j)];
        continue;
      }
      if (!w->IsOperator() || Priority(w) < priority) continue;
      if (IsPrefix(w) &&
          (j == start || (tok_[size_t(j - 1)]->IsOperator() && !IsPostfix(tok_[size_t(j - 1)]))))
        continue;
      return j;
    }
    return end;
  }

  int Build(int b, int e, int depth) {
    if (depth > kMaxDepth) Fail(std::string(kPrefix) + "Expression is nested too deeply");
    while (e - b >= 2 && IsLeft(tok_[size_t(b)]) && match_[size_t(b)] == e - 1) {
      ++b;
      --e;
    }
    if (b >= e) TooFewArguments();
    if (e - b == 1) {
      TExprWord* w = tok_[size_t(b)];
      if (w->IsOperand()) return NewLeaf(w);
      if (AsFunction(w) && !w->IsOperator() && w->ArgCount() == 0) return NewNode(w, nullptr, 0);
      if (HasArgs(w)) TooFewArguments();
      SyntaxError();
    }
    int left = -1;
    int pos = b;
    while (pos < e) {
      const int k = NextArgWord(pos, e);
      if (k < 0) SyntaxError();
      TExprWord* w = tok_[size_t(k)];
      TFunction* f = AsFunction(w);
      if (!w->IsOperator()) {
        // A named function: its arguments are the pieces of the bracket pair after it.
        if (left >= 0 || k != pos) SyntaxError();
        if (k + 1 >= e || !IsLeft(tok_[size_t(k + 1)])) TooFewArguments();
        const int close = match_[size_t(k + 1)];
        int args[kMaxArgs];
        int argc = 0;
        int start = k + 2;
        for (int j = k + 2; j <= close; ++j) {
          TExprWord* t = tok_[size_t(j)];
          if (IsLeft(t)) {
            j = match_[size_t(j)];
            continue;
          }
          if (j == close || IsSeparator(t)) {
            if (argc == kMaxArgs || argc == w->ArgCount()) TooFewArguments();
            args[argc++] = Build(start, j, depth + 1);
            start = j + 1;
          }
        }
        left = NewNode(w, args, argc);
        pos = close + 1;
      } else if (f && f->IsPrefix()) {
        if (left >= 0 || k != pos) SyntaxError();
        const int r = RightOperandEnd(k + 1, e, f->Priority());
        if (r == k + 1) TooFewArguments();
        int arg = Build(k + 1, r, depth + 1);
        left = NewNode(w, &arg, 1);
        pos = r;
      } else {
        int args[2];
        if (left >= 0) {
          if (k != pos) SyntaxError();
          args[0] = left;
        } else {
          if (k == pos) TooFewArguments();
          args[0] = Build(pos, k, depth + 1);
        }
        if (f && f->IsPostfix()) {
          left = NewNode(w, args, 1);
          pos = k + 1;
        } else {
          const int r = RightOperandEnd(k + 1, e, Priority(w));
          if (r == k + 1) TooFewArguments();
          args[1] = Build(k + 1, r, depth + 1);
          left = NewNode(w, args, 2);
          pos = r;
        }
      }
    }
    return left;
  }

  // -- 7. folding -----------------------------------------------------------------------------

  // Nodes are made children first, so one pass in creation order sees every argument before
  // the node that uses it; no recursion however long the formula is.
  float* ValueOf(const TTreeNode& n) {
    if (n.leaf) return n.word->Value();
    if (n.folded) return n.folded->Value();
    return &out_.chain_[size_t(n.chainIndex)].result;
  }

  void Fold() {
    for (TTreeNode& n : tree_) {
      n.varying = n.word->IsVarying();
      if (n.leaf) continue;
      for (int a = 0; a < n.argc; ++a) n.varying = n.varying || tree_[size_t(n.args[a])].varying;
      if (!p_.fold_ || n.varying) continue;
      TEvalNode e;
      e.routine = n.word->Routine();
      e.word = n.word;
      for (int a = 0; a < n.argc; ++a) e.args[a] = ValueOf(tree_[size_t(n.args[a])]);
      TMathStatus s = e.routine(e);
      if (s != TMathStatus::Ok) throw EMathError(s);
      if (n.word->Kind() == TWordKind::Boolean)
        n.folded = MakeConstant<TBooleanConstant>(FormatFloat(e.result), e.result);
      else
        n.folded = MakeConstant<TFloatTypeConstant>(FormatFloat(e.result), e.result);
    }
  }

  // -- 8. chaining ----------------------------------------------------------------------------

  void Chain(int root) {
    TTreeNode& r = tree_[size_t(root)];
    if (r.leaf || r.folded) {
      // A formula that is one value keeps one node that copies it.
      TExprWord* w = r.leaf ? r.word : r.folded;
      out_.chain_.resize(1);
      out_.chain_[0].routine = w->Routine();
      out_.chain_[0].word = w;
      out_.chain_[0].args[0] = w->Value();
      return;
    }
    size_t count = 0;
    for (const TTreeNode& n : tree_)
      if (!n.leaf && !n.folded) ++count;
    // Sized once: argument addresses into the chain stay valid.
    out_.chain_.resize(count);
    size_t c = 0;
    for (TTreeNode& n : tree_) {
      if (n.leaf || n.folded) continue;
      TEvalNode& e = out_.chain_[c];
      e.routine = n.word->Routine();
      e.word = n.word;
      for (int a = 0; a < n.argc; ++a) e.args[a] = ValueOf(tree_[size_t(n.args[a])]);
      n.chainIndex = int(c++);
    }
  }

  TCustomExpressionParser& p_;
  TCompiledExpression& out_;
  TExpressList& words_;
  std::string text_;
  TExprCollection tok_;
  std::vector<int> match_;
  std::vector<TTreeNode> tree_;
  std::vector<std::string> generated_;
  TExprWord *plus_, *minus_, *neg_, *pos_, *inc_, *dec_, *not_, *caret_, *intCaret_;
};

// ---------------------------------------------------------------------------------------------
// Parser

TCustomExpressionParser::TCustomExpressionParser() {
  DefineStandardWords();
}

TCustomExpressionParser::~TCustomExpressionParser() = default;

void TCustomExpressionParser::DefineStandardWords() {
  words_.Insert(std::make_unique<TLeftBracket>());
  words_.Insert(std::make_unique<TRightBracket>());
  words_.Insert(std::make_unique<TComma>(argumentSeparator_));

  struct TOp {
    const char* name;
    int priority;
    int argc;
    TEvalRoutine routine;
    TOperandSide side;
    bool boolean;
    bool assigns;
  };
  constexpr auto B = TOperandSide::Before;
  constexpr auto A = TOperandSide::After;
  static const TOp kOperators[] = {
      {"++", 5, 1, Increment, A, false, true},    {"--", 5, 1, Decrement, A, false, true},
      {"!", 10, 1, Factorial, A, false, false},   {"%", 10, 1, Percent, A, false, false},
      {"-@", 10, 1, Negate, B, false, false},     {"+@", 10, 1, Identity, B, false, false},
      {"in", 10, 2, Equal, B, true, false},       {"^", 20, 2, Power, B, false, false},
      {"^@", 20, 2, IntPower, B, false, false},   {"*", 30, 2, Multiply, B, false, false},
      {"/", 30, 2, Divide, B, false, false},      {"div", 30, 2, Div, B, false, false},
      {"mod", 30, 2, Mod, B, false, false},       {"+", 40, 2, Add, B, false, false},
      {"-", 40, 2, Subtract, B, false, false},    {">", 50, 2, Greater, B, true, false},
      {"<", 50, 2, Less, B, true, false},         {">=", 50, 2, GreaterEqual, B, true, false},
      {"<=", 50, 2, LessEqual, B, true, false},   {"=", 50, 2, Equal, B, true, false},
      {"<>", 50, 2, NotEqual, B, true, false},    {"not", 60, 1, Not, B, true, false},
      {"and", 70, 2, Bitwise<0>, B, true, false}, {"or", 70, 2, Bitwise<1>, B, true, false},
      {"xor", 70, 2, Bitwise<2>, B, true, false}, {":=", 200, 2, Assign, B, false, true},
  };
  for (const TOp& op : kOperators) {
    TFunctionDef d;
    d.name = op.name;
    d.priority = op.priority;
    d.isOperator = true;
    d.argCount = op.argc;
    d.routine = op.routine;
    d.operandSide = op.side;
    d.assigns = op.assigns;
    if (op.boolean)
      words_.Insert(std::make_unique<TBooleanFunction>(d));
    else
      words_.Insert(std::make_unique<TFunction>(d));
  }

  struct TNamed {
    const char* name;
    int argc;
    TEvalRoutine routine;
    bool varying;
    const char* description;
  };
  static const TNamed kFunctions[] = {
      {"random", 0, Random, true, "a uniform random number in [0, 1)"},
      {"random_int", 1, RandomInt, true, "a uniform random integer in 0 .. trunc(x) - 1"},
      {"randg", 2, RandG, true, "a normal random number: mean x, standard deviation y"},
      {"exp", 1, Exp, false, "e to the power x"},
      {"if", 3, If, false, "y when the low 8 bits of round(x) are not all zero, else z"},
      {"sqr", 1, Sqr, false, "x * x"},
      {"sqrt", 1, Sqrt, false, "square root of x"},
      {"abs", 1, Abs, false, "absolute value of x"},
      {"round", 1, Round, false, "x rounded to the nearest integer, halves to even"},
      {"trunc", 1, Trunc, false, "integer part of x, toward zero"},
      {"ln", 1, Ln, false, "natural logarithm of x"},
      {"log10", 1, Log10, false, "decimal logarithm of x"},
      {"logn", 2, LogN, false, "logarithm of y to the base x"},
      {"power", 2, Power, false, "x to the power y"},
      {"pow", 2, Power, false, "x to the power y"},
      {"intpower", 2, IntPower, false, "x to the integer power round(y)"},
      {"max", 2, Max, false, "the larger of x and y (x when equal)"},
      {"min", 2, Min, false, "the smaller of x and y (x when equal)"},
      {"sin", 1, Unary<Sin>, false, "sine of x radians"},
      {"cos", 1, Unary<Cos>, false, "cosine of x radians"},
      {"tan", 1, Unary<Tan>, false, "tangent of x radians"},
      {"arcsin", 1, Unary<ArcSin>, false, "inverse sine, in radians"},
      {"arccos", 1, Unary<ArcCos>, false, "inverse cosine, in radians"},
      {"arctan", 1, Unary<ArcTan>, false, "inverse tangent, in radians"},
      {"arctan2", 2, ArcTan2, false, "angle of the point (x = second, y = first), in radians"},
      {"sinh", 1, Unary<Sinh>, false, "hyperbolic sine"},
      {"cosh", 1, Unary<Cosh>, false, "hyperbolic cosine"},
      {"tanh", 1, Unary<Tanh>, false, "hyperbolic tangent"},
      {"arcsinh", 1, Unary<ArcSinh>, false, "inverse hyperbolic sine"},
      {"arccosh", 1, Unary<ArcCosh>, false, "inverse hyperbolic cosine"},
      {"arctanh", 1, ArcTanh, false, "inverse hyperbolic tangent"},
      {"degtorad", 1, Unary<DegToRad>, false, "x degrees in radians"},
      {"radtodeg", 1, Unary<RadToDeg>, false, "x radians in degrees"},
  };
  for (const TNamed& f : kFunctions)
    DefineFunction(f.name, f.description, f.argc, f.routine, f.varying);

  DefineStringFunction("pos", "1-based position of the first text in the second, 0 when absent",
                       Pos, 2);
  words_.Insert(std::make_unique<TConstant>(
      "pi", std::numbers::pi_v<float>, "the ratio of a circle's circumference to its diameter"));
}

void TCustomExpressionParser::DefineVariable(std::string_view name, float* cell) {
  if (name.empty() || !cell) return;
  AddWord(std::make_unique<TFloatTypeVariable>(AsciiLower(name), cell));
}

void TCustomExpressionParser::DefineFunction(std::string_view name, std::string_view description,
                                             int argCount, TEvalRoutine routine, bool varying) {
  TFunctionDef d;
  d.name = AsciiLower(name);
  d.description = description;
  d.argCount = argCount;
  d.routine = routine;
  if (varying)
    AddWord(std::make_unique<TVaryingFunction>(d));
  else
    AddWord(std::make_unique<TFunction>(d));
}

void TCustomExpressionParser::DefineStringFunction(std::string_view name,
                                                   std::string_view description,
                                                   TStringRoutine routine, int operandCount,
                                                   bool varying) {
  std::string n = AsciiLower(name);
  std::string d(description);
  if (varying)
    AddWord(std::make_unique<TVaryingStringFunction>(n, d, routine, operandCount));
  else
    AddWord(std::make_unique<TSimpleStringFunction>(n, d, routine, operandCount));
}

void TCustomExpressionParser::AddWord(std::unique_ptr<TExprWord> word) {
  if (TExprWord* old = words_.Find(word->Name())) ReplaceWord(old, word.get());
  words_.Insert(std::move(word));  // the old word is freed here
}

void TCustomExpressionParser::ReplaceWord(TExprWord* oldWord, TExprWord* newWord) {
  // A word that lends its value to chains can only be swapped for another that has one.
  if (oldWord->ArgCount() != newWord->ArgCount() ||
      (oldWord->Value() != nullptr) != (newWord->Value() != nullptr))
    Fail(std::string(kPrefix) + "Cannot replace variable/function NFuntionArg doesn't match");
  float* oldValue = oldWord->Value();
  float* newValue = newWord->Value();
  ForEachExpression([&](TCompiledExpression& e) {
    for (TEvalNode& n : e.chain_) {
      if (n.word == oldWord) {
        n.word = newWord;
        n.routine = newWord->Routine();
      }
      if (oldValue)
        for (float*& a : n.args)
          if (a == oldValue) a = newValue;
    }
  });
}

TExprWord* TCustomExpressionParser::FindWord(std::string_view name) const {
  return words_.Find(AsciiLower(name));
}

void TCustomExpressionParser::SetDecimalSeparator(char c) {
  decimalSeparator_ = c;
  if (c == argumentSeparator_) SetArgumentSeparator(c == ',' ? ';' : ',');
}

void TCustomExpressionParser::SetArgumentSeparator(char c) {
  // Only a character that is a token of its own and no other word can separate arguments.
  const std::string name(1, c);
  TExprWord* existing = words_.Find(name);
  if (IsNameChar(c) || IsBlank(c) || c == '\'' || c == HexPrefix() ||
      (existing && existing->Kind() != TWordKind::Separator))
    return;
  words_.Remove(std::string(1, argumentSeparator_));
  argumentSeparator_ = c;
  words_.Insert(std::make_unique<TComma>(c));
  if (decimalSeparator_ == c) decimalSeparator_ = decimalSeparator_ == ',' ? '.' : ',';
}

std::unique_ptr<TCompiledExpression> TCustomExpressionParser::Build(std::string_view text) {
  auto e = std::make_unique<TCompiledExpression>();
  e->text_ = std::string(text);
  TCompiler compiler(*this, *e);
  try {
    compiler.Compile(text);
  } catch (...) {
    compiler.Rollback();
    throw;
  }
  return e;
}

bool TCustomExpressionParser::Compile(std::string_view text) {
  compiled_ = Build(text);
  current_ = compiled_.get();
  return true;
}

float TCustomExpressionParser::Evaluate() {
  if (!current_) return std::numeric_limits<float>::quiet_NaN();
  float v = 0;
  TMathStatus s = current_->Run(v);
  if (s != TMathStatus::Ok) throw EMathError(s);
  return v;
}

void TCustomExpressionParser::ForEachExpression(
    const std::function<void(TCompiledExpression&)>& f) {
  if (compiled_) f(*compiled_);
}

// ---------------------------------------------------------------------------------------------
// Expression set

int TExpressionParser::AddExpression(std::string_view text) {
  if (Trim(text).empty()) return -1;
  set_.push_back(Build(text));
  currentIndex_ = int(set_.size()) - 1;
  current_ = set_.back().get();
  return currentIndex_;
}

bool TExpressionParser::AddExpressions(std::string_view text) {
  try {
    while (!text.empty()) {
      size_t eol = text.find_first_of("\r\n");
      std::string_view line = Trim(text.substr(0, eol));
      text = eol == std::string_view::npos ? std::string_view() : text.substr(eol + 1);
      if (line.empty() || line.starts_with("//")) continue;
      if (AddExpression(line) < 0) {
        ClearExpressions();
        return false;
      }
    }
  } catch (...) {
    ClearExpressions();
    throw;
  }
  return true;
}

float TExpressionParser::Evaluate(int index) {
  if (index < 0 || index >= int(set_.size())) return std::numeric_limits<float>::quiet_NaN();
  float v = 0;
  TMathStatus s = set_[size_t(index)]->Run(v);
  if (s != TMathStatus::Ok) throw EMathError(s);
  return v;
}

float TExpressionParser::EvaluateAll() {
  float v = 0;
  TMathStatus s = TryEvaluateAll(v);
  if (s != TMathStatus::Ok) throw EMathError(s);
  return v;
}

TMathStatus TExpressionParser::TryEvaluateAll(float& value) noexcept {
  float v = 0;
  for (auto& e : set_) {
    TMathStatus s = e->Run(v);
    if (s != TMathStatus::Ok) return s;
  }
  value = v;
  return TMathStatus::Ok;
}

void TExpressionParser::ClearExpressions() {
  if (currentIndex_ >= 0) current_ = nullptr;
  set_.clear();
  currentIndex_ = -1;
}

void TExpressionParser::ForEachExpression(const std::function<void(TCompiledExpression&)>& f) {
  TCustomExpressionParser::ForEachExpression(f);
  for (auto& e : set_) f(*e);
}

}  // namespace lumessa::expr
