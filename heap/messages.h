// Every text the system prints, byte for byte, in one place, so the code never spells one out
// twice. The transcripts in tests/ spell them out again as a user sees them, on purpose.
// A message whose text ends in "\n" is still printed through `say`, which adds a line end,
// so an empty line follows it.
#pragma once

namespace msg {
// start-up and top level
constexpr const char* Banner = "Zelkora for Linux version2.18";
constexpr const char* Notice = "Copyright (C) 2026 the Zelkora developers";
constexpr const char* PreludeFailed = "エラー: --clの定義を読み込めませんでした。";
constexpr const char* ThrowUnreceived = "エラー: THROWされましたが受け取り先のタグが見つかりません\n";
constexpr const char* ReturnFromUnreceived = "エラー: RETURN-FROMの受け取り先が見つかりません\n";

// the command line; the help text is in English, as a shell user expects
constexpr const char* Usage =
    "Usage: zelkora [--cl] [--stack MB] [FILE]\n"
    "       zelkora --help | --version\n"
    "\n"
    "Without FILE, Zelkora reads forms at a numbered prompt and prints their values; at a\n"
    "terminal, lines can be edited and are kept in ~/.zelkora_history. With FILE, it\n"
    "evaluates the file's forms in order and prints only what the program prints; a\n"
    "first line starting with #! is skipped, and an error ends the run with status 1\n"
    "(standard error says where: FILE:LINE: the form, then the backtrace). After an\n"
    "error at the prompt, (backtrace) in the debug loop shows the calls that led there.\n"
    "\n"
    "  --cl           first load the Common Lisp prelude (DO, WHEN, PUSH, INCF, FORMAT,\n"
    "                 REDUCE...), the text installed as share/zelkora/cl.lisp\n"
    "  --stack MB     let evaluation use MB megabytes of stack (default 128): deeper\n"
    "                 recursion before the error \"再帰が深すぎます\"\n"
    "  -h, --help     show this help and exit\n"
    "  --version      show the version and exit\n"
    "\n"
    "Exit status: 0 at the end of the input or of FILE, and after (bye), (quit) or (exit);\n"
    "n after (exit n), n from 0 to 255;\n"
    "1 when an error ends a FILE run or memory runs out; 2 for a bad option or a FILE\n"
    "that cannot be opened.";
constexpr const char* LineEditingOn = "Line editing: libedit";
constexpr const char* LineEditingOff = "Line editing: none (built without libedit)";
constexpr const char* UnknownOption = "エラー: %s: 不明なオプションです。";
constexpr const char* ExtraArgument = "エラー: %s: 余分な引数です。";
constexpr const char* BadStackSize = "エラー: --stack %s: 1から%zuまでのメガバイト数を指定してください。";
constexpr const char* HelpHint = "使い方は zelkora --help で表示されます。";
constexpr const char* ScriptCannotOpen = "エラー: %s: ファイルを開くことができません。";

// the terminal
constexpr const char* Interrupted = "エラー: 中断しました";
constexpr const char* InputCancelled = "^C";  // echoed where Ctrl-C discarded a typed line

// heap
constexpr const char* CellAllocFail = "エラー: セル領域の獲得に失敗しました。";
constexpr const char* StringAllocFail = "エラー: ストリング領域の獲得に失敗しました";  // no line end
constexpr const char* SymtabAllocFail = "エラー: ストリングアドレス領域の獲得に失敗しました";  // no line end
constexpr const char* FloatAllocFail = "エラー: 数値領域の獲得に失敗しました";
constexpr const char* GlobalAllocFail = "エラー: グローバル変数領域の獲得に失敗しました";
constexpr const char* FuncAllocFail = "エラー: 関数領域の獲得に失敗しました";
constexpr const char* CellStackAllocFail = "エラー: セルスタック領域の獲得に失敗しました";
constexpr const char* LocStackAllocFail = "エラー: ローカルスタック領域の獲得に失敗しました";
constexpr const char* CellsFull = "エラー: セル領域が一杯です。終了します。";
constexpr const char* FloatsFull = "エラー: 数値領域が一杯です。終了します。";
constexpr const char* IntsFull = "エラー: 整数領域が一杯です。終了します。";
constexpr const char* CellsLow = "エラー: セル領域が一杯です";
constexpr const char* FloatsLow = "エラー: 数値領域が一杯です";
constexpr const char* IntsLow = "エラー: 整数領域が一杯です";
constexpr const char* TooManySymbols = "エラー: ストリングの数が多すぎます";
constexpr const char* StringAreaLow = "エラー: ストリング領域が一杯です";
constexpr const char* CellStackFull = "エラー: セルスタックが一杯です。終了します";
constexpr const char* LocStackFull = "エラー: ローカルスタックが一杯です。終了します";
constexpr const char* GcReport = "gc: セル %ld個 浮動小数点数 %ld個 整数 %ld個 使用中 %c\n";
constexpr const char* GlobalTableFull = "エラー: グローバル変数領域が不足しています。終了します。";
constexpr const char* FuncTableFull = "エラー: 関数領域が一杯になりました。終了します。";
constexpr const char* TooDeep = "エラー: 再帰が深すぎます";
constexpr const char* StackGone = "エラー: スタックが尽きました。終了します。";

// reader
constexpr const char* FormTooLong = "エラー: S式が長過ぎます。";
constexpr const char* TooManyClose = "エラー: )が多すぎます。";
constexpr const char* RewriteTooLong = "エラー: Ｓ式が長すぎます";
constexpr const char* UnclosedString = "エラー: 文字列が閉じていません";
constexpr const char* MissingClose = "エラー: 右括弧が足りません";
constexpr const char* ZeroDenominatorLiteral = "エラー: 0で割りました。";

// printer
constexpr const char* ArrayToFile = "エラー: 配列はファイルに出力できません";

// evaluator
constexpr const char* Unbound = "エラー: その変数には代入されていません";
constexpr const char* Syntax = "エラー: 文法エラー";
constexpr const char* BadExitStatus = "エラー: 終了の状態は0から255の整数で指定してください";
constexpr const char* Undefined = "エラー: 未定義の関数またはマクロです";
constexpr const char* FrameAllocFail = "エラー: ローカル変数領域の確保に失敗しました";
constexpr const char* ArgCount = "エラー: 引数の数が違います";
constexpr const char* BadForm = "エラー: 文法が違います。";
constexpr const char* LetFrameAllocFail = "エラー: 局所変数域の確保に失敗しました。";
constexpr const char* TooManyArgs = "エラー: 引数が多すぎます";
constexpr const char* BadFuncall = "エラー: FUNCALLの呼び出し方が間違っています";
constexpr const char* BadApply = "エラー: APPLYの呼び出し方が間違っています";
constexpr const char* BadFunction = "エラー: FUNCTIONの使い方が間違っています";
constexpr const char* SpliceNonList = "エラー: リストでないものは連結できません。";
constexpr const char* CommaAtEnd = "エラー: ,の後に値がありません。";
constexpr const char* NotCons = "エラー: コンスではありません";
constexpr const char* SetArrayFail = "エラー: 配列型に設定できません。";
constexpr const char* NotArray = "配列ではありません";
constexpr const char* SymbolFunctionArg = "エラー: SYMBOL-FUNCTIONの引数が異常です\n";
constexpr const char* NoFunctionRecord = "エラー: システム関数、または未定義の関数またはマクロです\n";
constexpr const char* UndefinedMacro = "エラー: 未定義のマクロです";
constexpr const char* NotStream = "エラー: ストリームではありません";
constexpr const char* InvalidStream = "エラー: 無効なストリームです";

// non-local exits
constexpr const char* NoLabel = "エラー: ラベルが見つかりません。";
constexpr const char* CatchArgs = "エラー: CATCHの引数が異常です\n";
constexpr const char* CatchTagFail = "エラー: CATCHのタグの名前の評価に失敗しました\n";
constexpr const char* ThrowTagFail = "エラー: THROWのタグの名前の評価に失敗しました\n";
constexpr const char* ThrowArgs = "エラー: THROWの引数が異常です\n";
constexpr const char* UnwindArgs = "エラー: UNWIND-PROTECTの引数が異常です\n";
constexpr const char* BlockArgs = "エラー: BLOCKの引数が異常です\n";
constexpr const char* BlockName = "エラー: BLOCKの名前が異常です";
constexpr const char* ReturnFromArgs = "エラー: RETURN-FROMの引数が異常です\n";
constexpr const char* ReturnFromName = "エラー: RETURN-FROMの名前が異常です";

// debug loop
// What failed, one line on standard error at each error (the values written as PRIN1 would).
constexpr const char* DetailUnbound = "詳細: 変数 %s には値がありません\n";
constexpr const char* DetailRefused = "詳細: %s は %s を受け付けません\n";
constexpr const char* DetailRefusedValue = "詳細: %s は受け付けられません\n";
constexpr const char* DetailArgCount = "詳細: %s は引数を%ld個%sとりますが、%ld個渡されました\n";
constexpr const char* DetailArgCountTakes = "詳細: %s は引数を%ld個%sとります\n";
constexpr const char* DetailAtLeast = "以上";
constexpr const char* DetailForm = "詳細: 失敗した式 %s\n";
constexpr const char* DetailFormIn = "詳細: 失敗した式 %s (%s の中)\n";
constexpr const char* DebugEnter = "デバッグモードに入りました。";
constexpr const char* DebugHowAbort = "ABORTと入力すれば抜けられます。";
constexpr const char* DebugUnreadable = "不測なエラー、ABORTします\n";
constexpr const char* BreakEnter = "中断しました。";
constexpr const char* BacktraceLeftOut = "...: %ld個の呼び出しを省略しました\n";  // BACKTRACE
constexpr const char* BreakHowContinue = "CONTINUEと入力すれば続行します。";

// numbers
constexpr const char* DivideByZero = "エラー: 0で除算しました。";
constexpr const char* NotANumberOperand = "エラー: それは数値ではありません。";
constexpr const char* TooFewArgs = "エラー: 引数が足りません";
constexpr const char* NotNumber = "エラー: 数値ではありません";
constexpr const char* OperandNotNumber = "エラー: 対象が数値ではありません。";
constexpr const char* ExponentNotNumber = "エラー: 指数部は数値でなければなりません";
constexpr const char* RatioOverflow = "エラー: 分数がオーバーフローしました";
constexpr const char* SqrtNegative = "エラー: 負数は平方根はとれません";
constexpr const char* SqrtNonNumber = "エラー: 数値以外の平方根はとれません";
constexpr const char* NeedPositive = "エラー: 正数が必要です";
constexpr const char* IntOverflow = "エラー: 整数値がオーバーフローしました";
constexpr const char* NumeratorOverflow = "エラー: 分子がオーバーフローしました";
constexpr const char* DenominatorOverflow = "エラー: 分母がオーバーフローしました";
constexpr const char* DenominatorZero = "エラー: 分母が０です";
constexpr const char* ExpArg = "エラー: EXP 数値の引数が必要です";
constexpr const char* SinArg = "エラー: SIN 数値の引数が必要です";
constexpr const char* CosArg = "エラー: COS 数値の引数が必要です";
constexpr const char* TanArg = "エラー: TAN 数値の引数が必要です";
constexpr const char* OutOfRange = "エラー: 範囲外です";
constexpr const char* NotInteger = "エラー: 整数ではありません";
constexpr const char* NegativeLimit = "エラー: 負数は指定できません";

// text
constexpr const char* ArrayBroken = "エラー: 配列が壊れています";
constexpr const char* NotOneDimensional = "エラー: 一次元配列ではありません";
constexpr const char* LengthOperand = "エラー: 対象はリストか文字列でなくてはなりません。";
constexpr const char* CharSyntax = "エラー: 文法が間違っています。";
constexpr const char* CoerceSyntax = "エラー: COERCE: 文法が間違っています。";
constexpr const char* CharCodeUse = "エラー: CHAR-CODEの使い方が間違っています。";
constexpr const char* CodeCharUse = "エラー: CODE-CHARの使い方が間違っています。";
constexpr const char* TooFewArgsPlain = "引数が足りません";
constexpr const char* NotSymbolPlain = "シンボルではありません";
constexpr const char* NotStringPlain = "文字列ではありません";
constexpr const char* InternLower = "エラー: INTERNは現在のところ小文字を含む文字列には対応していません";
constexpr const char* InternChar = "エラー: INTERNは現在のところその文字を含む文字列には対応していません";
constexpr const char* InternEmpty = "エラー: INTERNは現在のところ空文字列には対応していません";
constexpr const char* InternWideLower = "エラー: INTERN-WIDEは現在のところ小文字を含む文字列には対応していません";
constexpr const char* InternWideChar = "エラー: INTERN-WIDEは現在のところその文字を含む文字列には対応していません";
constexpr const char* InternWideEmpty = "エラー: INTERN-WIDEは現在のところ空文字列には対応していません";

// streams
constexpr const char* CannotOpen = "エラー: ファイルを開くことができません。";
constexpr const char* TooManyFiles = "エラー: ファイルの数が多すぎます";
constexpr const char* CannotClose = "エラー: ファイルをクローズできません";
constexpr const char* StreamInvalidRead = "エラー: そのストリームは無効です";
constexpr const char* NotOutputStream = "エラー: 入力用のストリームには書き込めません";
constexpr const char* NotInputStream = "エラー: 出力用のストリームからは読み込めません";
constexpr const char* BadOpenOption = "エラー: OPENの指定が正しくありません";
constexpr const char* FileExists = "エラー: ファイルが既に存在します";
constexpr const char* WriteFailed = "エラー: 書き込みに失敗しました";
// On standard error, standard output being what failed.
constexpr const char* StdoutFailed = "エラー: 標準出力に書き込めません\n";
constexpr const char* FilesFailed = "エラー: ファイルに書き込めなかったデータがあります\n";
constexpr const char* ParenMismatch = "エラー: 括弧の数が合いません。";
constexpr const char* ReadError = "エラー: 読み込み中にエラーを生じました。";

// time
constexpr const char* LocalTimeArg = "エラー: LOCAL-TIMEの引数にエラーがあります。";
constexpr const char* MakeTimeArg = "エラー: MAKE-TIMEの引数にエラーがあります。";
}  // namespace msg

// Prints a message and a line end on standard output.
void say(const char* text);
// Prints a text without a line end.
void sayRaw(const char* text);
