// The expression language of the data files: real arithmetic with operators, named functions
// and constants, variables bound to single-precision cells of the host, assignment, comparisons
// and a few string comparisons.
//
//   TExprWord and its kinds   every token of a formula is a word (literal, variable, operator...)
//   TEvalNode                 one step of a compiled chain: routine, result, argument addresses
//   TCompiledExpression       one compiled formula: its chain and the words made for it
//   TCustomExpressionParser   the word list, the compiler and the evaluator of one formula
//   TExpressionParser         adds the multi-line expression set used by the eval function
//
// A formula is compiled once into a flat chain of nodes; evaluating it only runs the chain: no
// allocation and no lookup by name. Constant sub-expressions are folded while compiling.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

// The expression language has its own `TFunction` word class, distinct from the function objects
// of the function library; the namespace keeps the two apart.
namespace lumessa::expr {

// Outcome of one evaluation step. Anything but Ok stops the chain.
enum class TMathStatus : uint8_t { Ok, ZeroDivide, InvalidOp, Overflow };

// The text of a math error ("Division by zero", ...).
const char* MathStatusMessage(TMathStatus status);

// Every compile error of the language.
class EParserException : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// A run-time math error (division by zero, logarithm of a non-positive number, overflow...),
// raised by Evaluate and by folding while compiling.
class EMathError : public std::runtime_error {
 public:
  explicit EMathError(TMathStatus status)
      : std::runtime_error(MathStatusMessage(status)), status_(status) {}
  TMathStatus Status() const { return status_; }

 private:
  TMathStatus status_;
};

// What a word is, as far as the compiler is concerned.
enum class TWordKind : uint8_t {
  Number = 0,
  Boolean = 1,
  String = 2,
  LeftBracket = 3,
  RightBracket = 4,
  Separator = 5,
};

inline constexpr int kMaxArgs = 6;

class TExprWord;
struct TEvalNode;

// Computes node.result from the values behind node.args.
using TEvalRoutine = TMathStatus (*)(TEvalNode& node) noexcept;

// One step of a compiled chain. The arguments are the addresses of single-precision values: a
// constant's value, a host cell, or the result of an earlier node of the same chain.
struct TEvalNode {
  TEvalRoutine routine = nullptr;
  float result = 0;
  TExprWord* word = nullptr;
  float* args[kMaxArgs] = {};
};

// ---------------------------------------------------------------------------------------------
// Words

class TExprWord {
 public:
  TExprWord(std::string name, TEvalRoutine routine) : name_(std::move(name)), routine_(routine) {}
  virtual ~TExprWord() = default;
  TExprWord(const TExprWord&) = delete;
  TExprWord& operator=(const TExprWord&) = delete;

  // Lower case, as formulas are read in lower case.
  const std::string& Name() const { return name_; }
  TEvalRoutine Routine() const { return routine_; }

  virtual bool IsOperator() const { return false; }
  // A varying word is never folded: its value may change between evaluations.
  virtual bool IsVarying() const { return false; }
  virtual TWordKind Kind() const { return TWordKind::Number; }
  // 0 for operands.
  virtual int ArgCount() const { return 0; }
  // Operands: where the value lies. Empty for every other word.
  virtual float* Value() { return nullptr; }
  // A one-line text for listings; empty for words that are not named functions or constants.
  virtual std::string_view Description() const { return {}; }

  bool IsOperand() { return Value() != nullptr; }

 private:
  std::string name_;
  TEvalRoutine routine_;
};

// A number: a literal of the formula, or a folded result.
class TFloatTypeConstant : public TExprWord {
 public:
  TFloatTypeConstant(std::string name, float value);
  float* Value() override { return &value_; }
  // Number literals remember whether their text had the decimal separator ("^" before a whole
  // literal becomes the integer power).
  bool IsLiteral() const { return literal_; }
  bool HasDecimalSeparator() const { return decimal_; }
  void MarkLiteral(bool hasDecimalSeparator) {
    literal_ = true;
    decimal_ = hasDecimalSeparator;
  }

 private:
  float value_;
  bool literal_ = false;
  bool decimal_ = false;
};

// A named constant ("pi").
class TConstant : public TFloatTypeConstant {
 public:
  TConstant(std::string name, float value, std::string description)
      : TFloatTypeConstant(std::move(name), value), description_(std::move(description)) {}
  std::string_view Description() const override { return description_; }

 private:
  std::string description_;
};

// A folded boolean result.
class TBooleanConstant : public TFloatTypeConstant {
 public:
  using TFloatTypeConstant::TFloatTypeConstant;
  TWordKind Kind() const override { return TWordKind::Boolean; }
};

// An unknown identifier met in a formula: a variable of the parser, 0 until assigned.
class TGeneratedVariable : public TFloatTypeConstant {
 public:
  explicit TGeneratedVariable(std::string name) : TFloatTypeConstant(std::move(name), 0) {}
  bool IsVarying() const override { return true; }
};

// A host variable: a single-precision cell owned by the host, which must outlive the binding.
class TFloatTypeVariable : public TExprWord {
 public:
  TFloatTypeVariable(std::string name, float* cell);
  bool IsVarying() const override { return true; }
  float* Value() override { return cell_; }

 private:
  float* cell_;
};

// A quoted text. Only string functions and string comparisons take it.
class TStringConstant : public TExprWord {
 public:
  TStringConstant(std::string token, std::string text);
  TWordKind Kind() const override { return TWordKind::String; }
  float* Value() override { return &unused_; }
  const std::string& Text() const { return text_; }

 private:
  std::string text_;
  float unused_ = 0;
};

class TLeftBracket : public TExprWord {
 public:
  TLeftBracket() : TExprWord("(", nullptr) {}
  TWordKind Kind() const override { return TWordKind::LeftBracket; }
};

class TRightBracket : public TExprWord {
 public:
  TRightBracket() : TExprWord(")", nullptr) {}
  TWordKind Kind() const override { return TWordKind::RightBracket; }
};

class TComma : public TExprWord {
 public:
  explicit TComma(char separator) : TExprWord(std::string(1, separator), nullptr) {}
  TWordKind Kind() const override { return TWordKind::Separator; }
};

// Where the one operand of a one-operand operator stands.
enum class TOperandSide : uint8_t { Before, After };

// A function or operator word of the language.
struct TFunctionDef {
  std::string name;
  std::string description;
  int priority = 0;  // smaller binds more tightly; named functions are 0
  bool isOperator = false;
  int argCount = 0;  // at most kMaxArgs
  TEvalRoutine routine = nullptr;
  // One-operand operators: prefix ("-@", "not") or postfix ("!", "%", "++").
  TOperandSide operandSide = TOperandSide::Before;
  // The first operand is a variable whose cell is written (":=", "++", "--").
  bool assigns = false;
};

class TFunction : public TExprWord {
 public:
  // Raises EParserException("Too many arguments") beyond kMaxArgs.
  explicit TFunction(const TFunctionDef& def);
  bool IsOperator() const override { return isOperator_; }
  bool IsVarying() const override { return assigns_; }
  int ArgCount() const override { return argCount_; }
  std::string_view Description() const override { return description_; }
  int Priority() const { return priority_; }
  bool IsPrefix() const { return argCount_ == 1 && side_ == TOperandSide::Before; }
  bool IsPostfix() const { return argCount_ == 1 && side_ == TOperandSide::After; }
  bool Assigns() const { return assigns_; }

 private:
  std::string description_;
  int priority_;
  bool isOperator_;
  int argCount_;
  TOperandSide side_;
  bool assigns_;
};

// A function whose value changes from call to call ("random"); never folded.
class TVaryingFunction : public TFunction {
 public:
  using TFunction::TFunction;
  bool IsVarying() const override { return true; }
};

// A function with a boolean result (comparisons and logic words).
class TBooleanFunction : public TFunction {
 public:
  using TFunction::TFunction;
  TWordKind Kind() const override { return TWordKind::Boolean; }
};

// The numeric value of one or two string operands.
using TStringRoutine = double (*)(std::string_view a, std::string_view b);

// A numeric function of one or two string operands ("pos"). In a formula it takes quoted texts
// in brackets; the compiler then makes one word holding the operands, which is a function of no
// arguments.
class TSimpleStringFunction : public TFunction {
 public:
  TSimpleStringFunction(std::string name, std::string description, TStringRoutine routine,
                        int operandCount);
  // The word that holds its operands, made by the compiler.
  virtual std::unique_ptr<TSimpleStringFunction> Bind(std::string a, std::string b) const;
  int ArgCount() const override { return bound_ ? 0 : operandCount_; }
  int OperandCount() const { return operandCount_; }
  bool IsBound() const { return bound_; }
  double Compute() const { return stringRoutine_(a_, b_); }

 protected:
  TStringRoutine stringRoutine_;
  int operandCount_;
  bool bound_ = false;
  std::string a_, b_;
};

// A string function whose value changes from call to call.
class TVaryingStringFunction : public TSimpleStringFunction {
 public:
  using TSimpleStringFunction::TSimpleStringFunction;
  std::unique_ptr<TSimpleStringFunction> Bind(std::string a, std::string b) const override;
  bool IsVarying() const override { return true; }
};

// A comparison of two quoted texts, made by the compiler from text, comparison word, text.
class TLogicalStringOper : public TSimpleStringFunction {
 public:
  // op is the comparison word: "=", "<>", ">", "<", ">=", "<=" or "in".
  TLogicalStringOper(const std::string& op, std::string a, std::string b);
  TWordKind Kind() const override { return TWordKind::Boolean; }
};

// ---------------------------------------------------------------------------------------------
// Compiled formulas and the parsers

// One compiled formula. The chain is flat and never reallocated after compiling, so the
// argument addresses into it stay valid.
class TCompiledExpression {
 public:
  const std::string& Text() const { return text_; }
  const std::vector<TEvalNode>& Chain() const { return chain_; }
  // Runs the chain; value is the last node's result. No allocation, no exception.
  TMathStatus Run(float& value) noexcept;

 private:
  friend class TCustomExpressionParser;
  std::string text_;
  std::vector<TEvalNode> chain_;
  // Literals, folded results and string operators made for this formula.
  std::vector<std::unique_ptr<TExprWord>> constants_;
};

// The words of a parser, sorted by lower-case name.
class TExpressList {
 public:
  TExprWord* Find(std::string_view name) const;
  // The previous word of that name, if any, is returned (no longer in the list).
  std::unique_ptr<TExprWord> Insert(std::unique_ptr<TExprWord> word);
  std::unique_ptr<TExprWord> Remove(std::string_view name);
  size_t Count() const { return words_.size(); }
  template <class F>
  void ForEach(F&& f) const {
    for (const auto& [name, word] : words_) f(*word);
  }

 private:
  std::map<std::string, std::unique_ptr<TExprWord>, std::less<>> words_;
};

// The token list of one formula.
using TExprCollection = std::vector<TExprWord*>;

class TCustomExpressionParser {
 public:
  // Defines the standard words.
  TCustomExpressionParser();
  virtual ~TCustomExpressionParser();
  TCustomExpressionParser(const TCustomExpressionParser&) = delete;
  TCustomExpressionParser& operator=(const TCustomExpressionParser&) = delete;

  // A host variable bound to cell, which must outlive this parser's compiled formulas.
  void DefineVariable(std::string_view name, float* cell);
  // A named function (priority 0); varying functions are never folded.
  void DefineFunction(std::string_view name, std::string_view description, int argCount,
                      TEvalRoutine routine, bool varying = false);
  void DefineStringFunction(std::string_view name, std::string_view description,
                            TStringRoutine routine, int operandCount = 2, bool varying = false);
  // Inserts the word; a word of the same name is replaced in every compiled formula first.
  void AddWord(std::unique_ptr<TExprWord> word);
  // Switches every compiled formula from oldWord to newWord (same argument count).
  void ReplaceWord(TExprWord* oldWord, TExprWord* newWord);
  TExprWord* FindWord(std::string_view name) const;
  const TExpressList& Words() const { return words_; }

  char HexPrefix() const { return '$'; }
  char DecimalSeparator() const { return decimalSeparator_; }
  char ArgumentSeparator() const { return argumentSeparator_; }
  void SetDecimalSeparator(char c);
  void SetArgumentSeparator(char c);
  bool GetFold() const { return fold_; }
  void SetFold(bool fold) { fold_ = fold; }

  // Compiles text into the current chain. Raises EParserException, or EMathError when folding
  // meets a math error; the current chain is unchanged then.
  bool Compile(std::string_view text);
  // Runs the current chain; NaN when there is none. Raises EMathError.
  float Evaluate();
  // The current formula, or none.
  const TCompiledExpression* Current() const { return current_; }

 protected:
  std::unique_ptr<TCompiledExpression> Build(std::string_view text);
  // Every compiled formula the parser holds, for ReplaceWord.
  virtual void ForEachExpression(const std::function<void(TCompiledExpression&)>& f);

  TCompiledExpression* current_ = nullptr;

 private:
  class TCompiler;
  void DefineStandardWords();

  char decimalSeparator_ = '.';
  char argumentSeparator_ = ',';
  bool fold_ = true;
  TExpressList words_;
  std::unique_ptr<TCompiledExpression> compiled_;  // the chain of Compile
};

// The parser with the multi-line expression set.
class TExpressionParser : public TCustomExpressionParser {
 public:
  // Compiles text, appends it to the set, makes it current and returns its index; an empty
  // text gives -1 and adds nothing. Compile errors raise.
  int AddExpression(std::string_view text);
  // One expression per line (CR, LF or CR LF), trimmed; empty lines and lines beginning with
  // "//" are skipped. On any failure the set is left empty (and the error raised).
  bool AddExpressions(std::string_view text);
  // NaN for an index outside the set. Raises EMathError.
  float Evaluate(int index);
  // Every expression in order; the last value, 0 for an empty set. Raises EMathError.
  float EvaluateAll();
  // The same without exceptions: stops at the first math error and reports it.
  TMathStatus TryEvaluateAll(float& value) noexcept;
  void ClearExpressions();
  int ExpressionCount() const { return int(set_.size()); }
  int CurrentIndex() const { return currentIndex_; }
  const TCompiledExpression& Expression(int index) const { return *set_[size_t(index)]; }

  using TCustomExpressionParser::Evaluate;

 protected:
  void ForEachExpression(const std::function<void(TCompiledExpression&)>& f) override;

 private:
  std::vector<std::unique_ptr<TCompiledExpression>> set_;
  int currentIndex_ = -1;
};

}  // namespace lumessa::expr
