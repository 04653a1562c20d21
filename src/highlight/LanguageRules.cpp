#include "highlight/CodeHighlighter.h"
#include "highlight/LanguageRulesTable.h"

#include <array>
#include <memory>
#include <mutex>
#include <unordered_map>

namespace velkin::CodeHighlighter {

namespace {

// Keyword texts: words separated by single spaces, lines by line feeds. The
// languages whose keywords ignore case store them in upper case.
constexpr U16View swiftKeywords =
    u"associatedtype class deinit enum extension fileprivate func import init inout internal\n"
    u"let open operator private precedencegroup protocol public rethrows static struct\n"
    u"subscript typealias var actor async await break case catch continue convenience default\n"
    u"defer didSet do dynamic else fallthrough final for get guard if in indirect infix is\n"
    u"lazy mutating nonmutating optional override postfix prefix repeat required return set\n"
    u"some super switch throw throws try unowned weak where while willSet nil true false self\n"
    u"Self Any";
constexpr U16View javascriptKeywords =
    u"var let const function return if else for while do switch case default break continue\n"
    u"new delete typeof instanceof void this super class extends import export from as try\n"
    u"catch finally throw async await yield of in null undefined true false NaN Infinity\n"
    u"static get set debugger with";
constexpr U16View typescriptKeywords =
    u"var let const function return if else for while do switch case default break continue\n"
    u"new delete typeof instanceof void this super class extends implements import export from\n"
    u"as try catch finally throw async await yield of in null undefined true false static get\n"
    u"set debugger with interface type enum namespace module declare abstract readonly private\n"
    u"protected public keyof infer is never unknown any number string boolean symbol bigint\n"
    u"satisfies override";
constexpr U16View pythonKeywords =
    u"def class return if elif else for while break continue pass import from as with try\n"
    u"except finally raise lambda yield global nonlocal assert del in is not and or None True\n"
    u"False async await match case self cls print len range";
constexpr U16View rubyKeywords =
    u"BEGIN END alias and begin break case class def do else elsif end ensure false for if in\n"
    u"module next nil not or redo rescue retry return self super then true undef unless until\n"
    u"when while yield __FILE__ __LINE__ require require_relative include extend attr_accessor\n"
    u"puts raise";
constexpr U16View goKeywords =
    u"break case chan const continue default defer else fallthrough for func go goto if import\n"
    u"interface map package range return select struct switch type var nil true false iota\n"
    u"make new len cap append copy delete panic recover string int int8 int16 int32 int64 uint\n"
    u"uint8 uint16 uint32 uint64 uintptr byte rune float32 float64 complex64 complex128 bool\n"
    u"error";
constexpr U16View rustKeywords =
    u"as async await break const continue crate dyn else enum extern false fn for if impl in\n"
    u"let loop match mod move mut pub ref return self Self static struct super trait true type\n"
    u"unsafe use where while try union i8 i16 i32 i64 i128 isize u8 u16 u32 u64 u128 usize f32\n"
    u"f64 bool char str String Vec Option Result Some None Ok Err Box";
constexpr U16View cKeywords =
    u"auto break case char const continue default do double else enum extern float for goto if\n"
    u"inline int long register restrict return short signed sizeof static struct switch\n"
    u"typedef union unsigned void volatile while _Bool _Complex size_t NULL true false";
constexpr U16View cppKeywords =
    u"alignas alignof auto bool break case catch char char16_t char32_t class concept const\n"
    u"constexpr const_cast continue decltype default delete do double dynamic_cast else enum\n"
    u"explicit extern false float for friend goto if inline int long mutable namespace new\n"
    u"noexcept not nullptr operator private protected public reinterpret_cast requires return\n"
    u"short signed sizeof static static_assert static_cast struct switch template this\n"
    u"thread_local throw true try typedef typeid typename union unsigned using virtual void\n"
    u"volatile wchar_t while override final";
constexpr U16View csharpKeywords =
    u"abstract as base bool break byte case catch char checked class const continue decimal\n"
    u"default delegate do double else enum event explicit extern false finally fixed float for\n"
    u"foreach goto if implicit in int interface internal is lock long namespace new null\n"
    u"object operator out override params private protected public readonly ref return sbyte\n"
    u"sealed short sizeof stackalloc static string struct switch this throw true try typeof\n"
    u"uint ulong unchecked unsafe ushort using virtual void volatile while async await dynamic\n"
    u"get record set value var when where yield";
constexpr U16View javaKeywords =
    u"abstract assert boolean break byte case catch char class const continue default do\n"
    u"double else enum extends final finally float for goto if implements import instanceof\n"
    u"int interface long native new package private protected public return short static super\n"
    u"switch synchronized this throw throws transient try void volatile while true false null\n"
    u"var record sealed yield String Object";
constexpr U16View kotlinKeywords =
    u"as break class continue do else false for fun if in interface is null object package\n"
    u"return super this throw true try typealias val var when while by catch constructor\n"
    u"finally get import init set where abstract annotation companion const data enum external\n"
    u"final infix inline inner internal lateinit open operator out override private protected\n"
    u"public sealed suspend vararg value it Unit Any Nothing String Int Long Boolean";
constexpr U16View phpKeywords =
    u"abstract and array as break case catch class clone const continue default do echo else\n"
    u"elseif empty enum eval exit extends final finally fn for foreach function global if\n"
    u"implements include include_once instanceof interface isset list match namespace new or\n"
    u"print private protected public readonly require require_once return static switch throw\n"
    u"trait try unset use var while xor yield true false null self parent int float bool\n"
    u"string void mixed never iterable object";
constexpr U16View sqlKeywords =
    u"SELECT FROM WHERE INSERT INTO VALUES UPDATE SET DELETE CREATE TABLE ALTER DROP TRUNCATE\n"
    u"INDEX VIEW JOIN INNER LEFT RIGHT OUTER FULL CROSS ON USING AS AND OR NOT NULL IS IN LIKE\n"
    u"BETWEEN GROUP BY ORDER HAVING LIMIT OFFSET DISTINCT COUNT SUM AVG MIN MAX PRIMARY KEY\n"
    u"FOREIGN REFERENCES DEFAULT UNIQUE CHECK CONSTRAINT CASE WHEN THEN ELSE END UNION ALL ANY\n"
    u"EXISTS INT INTEGER BIGINT SMALLINT VARCHAR CHAR TEXT BOOLEAN DATE TIME TIMESTAMP DECIMAL\n"
    u"NUMERIC FLOAT DOUBLE SERIAL TRUE FALSE ASC DESC WITH RETURNING GRANT REVOKE BEGIN COMMIT\n"
    u"ROLLBACK";
constexpr U16View objcKeywords =
    u"break case char const continue default do double else enum float for if int long return\n"
    u"short sizeof static struct switch typedef unsigned void while id self super nil YES NO\n"
    u"BOOL SEL IMP Class instancetype nullable nonnull interface implementation protocol end\n"
    u"property selector class private protected public readonly try catch finally throw import";
constexpr U16View latexKeywords = u"";
constexpr U16View vimKeywords =
    u"if else elseif endif while endwhile for endfor in function endfunction return call let\n"
    u"unlet const set setlocal map nmap vmap imap noremap nnoremap vnoremap inoremap cnoremap\n"
    u"tnoremap unmap autocmd augroup command echo echom echoerr execute normal silent syntax\n"
    u"highlight source try catch finally endtry throw break continue abort range filetype true\n"
    u"false";
constexpr U16View asmKeywords =
    u"mov movzx movsx lea add sub mul imul div idiv inc dec neg and or xor not shl shr sar cmp\n"
    u"test jmp je jne jz jnz jg jge jl jle ja jae jb jbe call ret push pop nop int syscall\n"
    u"loop section segment global extern db dw dd dq resb resw resd resq equ times byte word\n"
    u"dword qword ptr rax rbx rcx rdx rsi rdi rsp rbp eax ebx ecx edx esi edi esp ebp r8 r9\n"
    u"r10 al ah bl";
constexpr U16View batchKeywords =
    u"ECHO SET IF ELSE FOR IN DO GOTO CALL EXIT REM PAUSE SETLOCAL ENDLOCAL SHIFT NOT EXIST\n"
    u"DEFINED ERRORLEVEL EQU NEQ LSS LEQ GTR GEQ OFF ON NUL CD CHDIR DIR COPY XCOPY MOVE DEL\n"
    u"ERASE REN RENAME MD MKDIR RD RMDIR TYPE CLS START TITLE COLOR PUSHD POPD FIND FINDSTR\n"
    u"SORT MORE TASKKILL PATH CHOICE TIMEOUT ENABLEDELAYEDEXPANSION ENABLEEXTENSIONS CMD";
constexpr U16View clojureKeywords =
    u"def defn defn- defmacro defmulti defmethod defprotocol defrecord deftype definline\n"
    u"defonce let letfn fn if if-not when when-not cond condp case do loop recur for doseq\n"
    u"dotimes while ns require import use refer try catch finally throw quote var set! new\n"
    u"true false nil and or not";
constexpr U16View crystalKeywords =
    u"abstract alias as begin break case class def do else elsif end ensure enum extend false\n"
    u"for if in include macro module next nil private protected require rescue return select\n"
    u"self sizeof struct super then true type typeof union unless until when while with yield\n"
    u"puts property getter setter";
constexpr U16View dartKeywords =
    u"abstract as assert async await break case catch class const continue default do dynamic\n"
    u"else enum export extends extension external factory false final finally for Function get\n"
    u"if implements import in interface is late mixin new null of on operator required rethrow\n"
    u"return set static super switch this throw true try typedef var void while with yield int\n"
    u"double String bool";
constexpr U16View dockerfileKeywords =
    u"FROM RUN CMD LABEL MAINTAINER EXPOSE ENV ADD COPY ENTRYPOINT VOLUME USER WORKDIR ARG\n"
    u"ONBUILD STOPSIGNAL HEALTHCHECK SHELL AS";
constexpr U16View elixirKeywords =
    u"after and catch do else end false fn in nil not or rescue true when alias case cond def\n"
    u"defp defmodule defmacro defmacrop defstruct defprotocol defimpl defdelegate for if\n"
    u"import quote raise receive require reraise super throw try unless unquote use with";
constexpr U16View erlangKeywords =
    u"after and andalso band begin bnot bor bsl bsr bxor case catch cond div end fun if let\n"
    u"not of or orelse receive rem try when xor module export import record define include\n"
    u"behaviour true false undefined";
constexpr U16View fortranKeywords =
    u"PROGRAM END MODULE USE CONTAINS SUBROUTINE FUNCTION CALL RETURN IMPLICIT NONE INTEGER\n"
    u"REAL DOUBLE PRECISION COMPLEX LOGICAL CHARACTER PARAMETER DIMENSION ALLOCATABLE ALLOCATE\n"
    u"DEALLOCATE INTENT IN OUT INOUT IF THEN ELSE ENDIF DO ENDDO WHILE CYCLE EXIT SELECT CASE\n"
    u"DEFAULT WHERE PRINT WRITE READ OPEN CLOSE FORMAT STOP GOTO CONTINUE TYPE CLASS INTERFACE\n"
    u"PUBLIC PRIVATE POINTER TARGET OPTIONAL SAVE DATA RESULT RECURSIVE PROCEDURE TRUE FALSE";
constexpr U16View fsharpKeywords =
    u"abstract and as assert base begin class default delegate do done downto elif else end\n"
    u"exception false finally for fun function if in inherit inline interface internal let\n"
    u"match member module mutable namespace new not null of open or override private public\n"
    u"rec return static struct then to true try type use val when while with yield";
constexpr U16View gherkinKeywords =
    u"Feature Background Scenario Outline Template Examples Scenarios Given When Then And But\n"
    u"Rule";
constexpr U16View graphqlKeywords =
    u"query mutation subscription fragment on type interface union enum input scalar schema\n"
    u"extend directive implements true false null Int Float String Boolean ID";
constexpr U16View groovyKeywords =
    u"abstract as assert boolean break byte case catch char class continue def default do\n"
    u"double else enum extends false final finally float for if implements import in\n"
    u"instanceof int interface long new null package private protected public return short\n"
    u"static super switch synchronized this throw throws trait transient true try var void\n"
    u"volatile while println";
constexpr U16View haskellKeywords =
    u"module where import data type newtype class instance deriving do let in case of if then\n"
    u"else foreign infix infixl infixr default hiding qualified as family forall mdo proc rec";
constexpr U16View juliaKeywords =
    u"begin break catch const continue do else elseif end export false finally for function\n"
    u"global if import let local macro module quote return struct true try using while\n"
    u"abstract mutable type where in isa nothing Int Float64 String Bool println";
constexpr U16View luaKeywords =
    u"and break do else elseif end false for function goto if in local nil not or repeat\n"
    u"return then true until while self";
constexpr U16View matlabKeywords =
    u"break case catch classdef continue else elseif end for function global if otherwise\n"
    u"parfor persistent return spmd switch try while true false pi disp zeros";
constexpr U16View mermaidKeywords =
    u"flowchart graph sequenceDiagram classDiagram stateDiagram erDiagram gantt pie journey\n"
    u"gitGraph mindmap timeline quadrantChart requirementDiagram C4Context block LR RL TB TD\n"
    u"BT subgraph end direction participant actor note loop alt else opt par and critical\n"
    u"break rect activate deactivate autonumber title section dateFormat axisFormat class\n"
    u"state click style classDef linkStyle call callback href commit branch checkout merge\n"
    u"over left right of as";
constexpr U16View nimKeywords =
    u"and as block break case cast const continue defer discard div do elif else enum except\n"
    u"export finally for from func if import in include is iterator let macro method mod nil\n"
    u"not object of or proc raise ref return shl shr static template try tuple type var when\n"
    u"while yield true false echo";
constexpr U16View nixKeywords =
    u"let in with rec inherit assert if then else import or true false null builtins\n"
    u"derivation throw abort map toString fetchurl mkDerivation callPackage pkgs";
constexpr U16View ocamlKeywords =
    u"and as assert begin class do done downto else end exception false for fun function if in\n"
    u"include let match module mutable new of open or rec sig struct then to true try type val\n"
    u"when while with";
constexpr U16View pascalKeywords =
    u"AND ARRAY BEGIN CASE CONST CONSTRUCTOR DIV DO DOWNTO ELSE END FILE FOR FUNCTION GOTO IF\n"
    u"IMPLEMENTATION IN INHERITED INTERFACE MOD NIL NOT OBJECT OF OR PROCEDURE PROGRAM RECORD\n"
    u"REPEAT SET STRING THEN TO TYPE UNIT UNTIL USES VAR WHILE WITH XOR CLASS PRIVATE\n"
    u"PROTECTED PUBLIC PROPERTY TRY EXCEPT FINALLY RAISE INTEGER REAL BOOLEAN CHAR TRUE FALSE\n"
    u"WRITELN READLN EXIT RESULT";
constexpr U16View perlKeywords =
    u"my our local sub package use no require if elsif else unless while until for foreach do\n"
    u"last next return and or not eq ne lt gt le ge print printf say die warn eval defined\n"
    u"undef exists delete push pop shift unshift keys values each scalar ref open close chomp\n"
    u"split join map grep sort reverse qw BEGIN END";
constexpr U16View powershellKeywords =
    u"begin break catch class continue do else elseif end enum exit filter finally for foreach\n"
    u"from function if in param process return static switch throw trap try until using while";
constexpr U16View protobufKeywords =
    u"syntax edition package import public weak option message enum service rpc returns stream\n"
    u"oneof map reserved repeated optional required extend extensions to max group double\n"
    u"float int32 int64 uint32 uint64 sint32 sint64 fixed32 fixed64 sfixed32 sfixed64 bool\n"
    u"string bytes true false inf";
constexpr U16View rKeywords =
    u"if else repeat while function for in next break TRUE FALSE NULL Inf NaN NA NA_integer_\n"
    u"NA_real_ NA_character_ library require return invisible";
constexpr U16View scalaKeywords =
    u"abstract case catch class def do else enum export extends false final finally for\n"
    u"forSome given if implicit import lazy match new null object override package private\n"
    u"protected return sealed super then this throw trait true try type using val var while\n"
    u"with yield";
constexpr U16View schemeKeywords =
    u"define lambda let letrec if cond case else and or not begin do delay quote quasiquote\n"
    u"unquote import export library display newline car cdr cons list apply map vector when\n"
    u"unless assoc length append reverse set!";
constexpr U16View solidityKeywords =
    u"pragma solidity import contract interface library abstract is using for struct enum\n"
    u"event error modifier function constructor fallback receive returns return emit if else\n"
    u"while do break continue try catch revert require assert new delete public private\n"
    u"internal external pure view payable constant immutable override virtual memory storage\n"
    u"calldata indexed anonymous unchecked assembly address bool string bytes bytes32 uint\n"
    u"uint8 uint256 int int256 true false mapping this super msg block tx wei ether";
constexpr U16View terraformKeywords =
    u"resource data variable output module provider locals terraform backend provisioner\n"
    u"connection lifecycle dynamic content for_each count depends_on source version\n"
    u"required_providers required_version for in if true false null string number bool list\n"
    u"map set object tuple any each self var local path moved";
constexpr U16View zigKeywords =
    u"align allowzero and anyframe anytype asm async await break callconv catch comptime const\n"
    u"continue defer else enum errdefer error export extern fn for if inline linksection\n"
    u"noalias noinline nosuspend opaque or orelse packed pub resume return struct suspend\n"
    u"switch test threadlocal try union unreachable usingnamespace var volatile while true\n"
    u"false null undefined void bool u8 i32 u32 usize isize f64 anyerror type";
constexpr U16View tclKeywords =
    u"proc set puts if else elseif for foreach while switch return break continue expr incr\n"
    u"append lappend lindex llength list lrange lsearch lsort string regexp regsub split join\n"
    u"array dict global upvar uplevel variable namespace package source eval catch error after\n"
    u"open close gets read file glob exec info format scan rename unset concat lassign lmap\n"
    u"try throw finally coroutine yield apply interp clock binary chan encoding flush seek\n"
    u"tell socket subst trace update exit";
constexpr U16View awkKeywords =
    u"BEGIN END BEGINFILE ENDFILE function func if else while for do break continue next\n"
    u"nextfile exit return delete in getline print printf FS OFS RS ORS NR NF FNR FILENAME\n"
    u"SUBSEP RSTART RLENGTH CONVFMT OFMT ENVIRON ARGC ARGV IGNORECASE length substr index\n"
    u"split sub gsub match sprintf tolower toupper sin cos atan2 exp log sqrt int rand srand\n"
    u"system close fflush";
constexpr U16View prologKeywords =
    u"is not fail true false halt call findall bagof setof forall assert asserta assertz\n"
    u"retract abolish atom number integer float var nonvar compound callable is_list\n"
    u"atom_codes atom_chars atom_length char_code number_codes sub_atom copy_term functor arg\n"
    u"write writeln print nl read format catch throw between succ plus length append member\n"
    u"memberchk reverse nth0 nth1 msort sort predsort last sum_list max_list min_list\n"
    u"atom_string string_concat split_string module use_module dynamic discontiguous\n"
    u"initialization ensure_loaded consult op current_op tab once ignore mod rem atom_number";
constexpr U16View adaKeywords =
    u"ABORT ABS ABSTRACT ACCEPT ACCESS ALIASED ALL AND ARRAY AT BEGIN BODY CASE CONSTANT\n"
    u"DECLARE DELAY DELTA DIGITS DO ELSE ELSIF END ENTRY EXCEPTION EXIT FOR FUNCTION GENERIC\n"
    u"GOTO IF IN INTERFACE IS LIMITED LOOP MOD NEW NOT NULL OF OR OTHERS OUT OVERRIDING\n"
    u"PACKAGE PRAGMA PRIVATE PROCEDURE PROTECTED RAISE RANGE RECORD REM RENAMES REQUEUE RETURN\n"
    u"REVERSE SELECT SEPARATE SOME SUBTYPE SYNCHRONIZED TAGGED TASK TERMINATE THEN TYPE UNTIL\n"
    u"USE WHEN WHILE WITH XOR";
constexpr U16View dKeywords =
    u"abstract alias align asm assert auto body bool break byte case cast catch char class\n"
    u"const continue dchar debug default delegate delete deprecated do double else enum export\n"
    u"extern false final finally float for foreach foreach_reverse function goto if immutable\n"
    u"import in inout int interface invariant is lazy long macro mixin module new nothrow null\n"
    u"out override package pragma private protected public pure real ref return scope shared\n"
    u"short static struct super switch synchronized template this throw true try typeid typeof\n"
    u"ubyte uint ulong union unittest ushort version void wchar while with __FILE__ __LINE__\n"
    u"__gshared __traits __parameters string wstring dstring size_t writeln";
constexpr U16View haxeKeywords =
    u"abstract break case cast catch class continue default do dynamic else enum extends\n"
    u"extern false final for function if implements import in inline interface macro new null\n"
    u"operator overload override package private public return static super switch this throw\n"
    u"true try typedef untyped using var while Int Float String Bool Dynamic Void Array trace\n"
    u"Map";
constexpr U16View coffeescriptKeywords =
    u"and break by catch class continue delete do else extends false finally for if in\n"
    u"instanceof is isnt loop new no not null of off on or return super switch then this throw\n"
    u"true try typeof undefined unless until when while yes yield await import export default\n"
    u"from as";
constexpr U16View vbnetKeywords =
    u"ADDHANDLER ADDRESSOF ALIAS AND ANDALSO AS BOOLEAN BYREF BYTE BYVAL CALL CASE CATCH CHAR\n"
    u"CLASS CONST CONTINUE CTYPE DATE DECIMAL DECLARE DEFAULT DELEGATE DIM DIRECTCAST DO\n"
    u"DOUBLE EACH ELSE ELSEIF END ENUM ERROR EVENT EXIT FALSE FINALLY FOR FRIEND FUNCTION GET\n"
    u"GETTYPE GLOBAL GOTO HANDLES IF IMPLEMENTS IMPORTS IN INHERITS INTEGER INTERFACE IS ISNOT\n"
    u"LIB LIKE LONG LOOP ME MOD MODULE MUSTINHERIT MUSTOVERRIDE MYBASE MYCLASS NAMEOF\n"
    u"NAMESPACE NEW NEXT NOT NOTHING NOTINHERITABLE NOTOVERRIDABLE OBJECT OF ON OPERATOR\n"
    u"OPTION OPTIONAL OR ORELSE OVERLOADS OVERRIDABLE OVERRIDES PARAMARRAY PARTIAL PRIVATE\n"
    u"PROPERTY PROTECTED PUBLIC RAISEEVENT READONLY REDIM REM REMOVEHANDLER RESUME RETURN\n"
    u"SBYTE SELECT SET SHARED SHORT SINGLE STATIC STEP STOP STRING STRUCTURE SUB SYNCLOCK THEN\n"
    u"THROW TO TRUE TRY TRYCAST TYPEOF UINTEGER ULONG USHORT USING WHEN WHILE WITH WITHEVENTS\n"
    u"WRITEONLY XOR ASYNC AWAIT ITERATOR YIELD KEY PRESERVE STRICT EXPLICIT INFER COMPARE\n"
    u"BINARY TEXT OFF";
constexpr U16View verilogKeywords =
    u"always and assign automatic begin buf bufif0 bufif1 case casex casez cmos deassign\n"
    u"default defparam disable edge else end endcase endfunction endgenerate endmodule\n"
    u"endprimitive endspecify endtable endtask event for force forever fork function generate\n"
    u"genvar highz0 highz1 if ifnone include initial inout input instance integer join large\n"
    u"library localparam macromodule medium module nand negedge nmos nor not notif0 notif1 or\n"
    u"output parameter pmos posedge primitive pull0 pull1 pulldown pullup rcmos real realtime\n"
    u"reg release repeat rnmos rpmos rtran rtranif0 rtranif1 scalared signed small specify\n"
    u"specparam strong0 strong1 supply0 supply1 table task time tran tranif0 tranif1 tri tri0\n"
    u"tri1 triand trior trireg unsigned use uwire vectored wait wand weak0 weak1 while wire\n"
    u"wor xnor xor logic bit byte int longint shortint always_comb always_ff always_latch\n"
    u"interface endinterface package endpackage class endclass typedef enum struct";
constexpr U16View vhdlKeywords =
    u"ABS ACCESS AFTER ALIAS ALL AND ARCHITECTURE ARRAY ASSERT ATTRIBUTE BEGIN BLOCK BODY\n"
    u"BUFFER BUS CASE COMPONENT CONFIGURATION CONSTANT DISCONNECT DOWNTO ELSE ELSIF END ENTITY\n"
    u"EXIT FILE FOR FUNCTION GENERATE GENERIC GROUP GUARDED IF IMPURE IN INERTIAL INOUT IS\n"
    u"LABEL LIBRARY LOOP MAP MOD NAND NEW NEXT NOR NOT NULL OF ON OPEN OR OTHERS OUT PACKAGE\n"
    u"PORT POSTPONED PROCEDURE PROCESS PURE RANGE RECORD REGISTER REJECT REM REPORT RETURN ROL\n"
    u"ROR SELECT SEVERITY SIGNAL SHARED SLA SLL SRA SRL SUBTYPE THEN TO TRANSPORT TYPE UNITS\n"
    u"UNTIL USE VARIABLE WAIT WHEN WHILE WITH XNOR XOR STD_LOGIC STD_LOGIC_VECTOR INTEGER\n"
    u"BOOLEAN NATURAL STRING BIT SIGNED UNSIGNED TRUE FALSE RISING_EDGE";
constexpr U16View cobolKeywords =
    u"IDENTIFICATION DIVISION PROGRAM-ID ENVIRONMENT CONFIGURATION SECTION INPUT-OUTPUT\n"
    u"FILE-CONTROL DATA FILE WORKING-STORAGE LOCAL-STORAGE LINKAGE PROCEDURE FD PIC PICTURE\n"
    u"VALUE VALUES REDEFINES OCCURS TIMES DEPENDING INDEXED BY USAGE COMP BINARY DISPLAY\n"
    u"ACCEPT MOVE TO FROM ADD SUBTRACT MULTIPLY DIVIDE COMPUTE GIVING REMAINDER ROUNDED INTO\n"
    u"IF ELSE END-IF EVALUATE WHEN OTHER END-EVALUATE PERFORM UNTIL VARYING THRU END-PERFORM\n"
    u"GO GOBACK STOP RUN EXIT CALL USING END-CALL OPEN CLOSE READ WRITE DELETE START END-READ\n"
    u"END-WRITE AT END NOT INVALID KEY INPUT OUTPUT EXTEND SELECT ASSIGN ORGANIZATION\n"
    u"SEQUENTIAL ACCESS MODE RANDOM DYNAMIC RECORD STATUS ZERO ZEROS SPACE SPACES HIGH-VALUE\n"
    u"LOW-VALUE QUOTE ALL INITIALIZE INSPECT TALLYING REPLACING STRING UNSTRING DELIMITED\n"
    u"POINTER SET UP DOWN SEARCH CONTINUE COPY REPLACE AND OR EQUAL GREATER LESS THAN IS\n"
    u"NUMERIC ALPHABETIC TRUE FALSE FUNCTION RETURNING SORT MERGE ON SIZE ERROR OF IN WITH";
constexpr U16View smalltalkKeywords =
    u"self super nil true false thisContext class ifTrue ifFalse ifNil ifNotNil whileTrue\n"
    u"whileFalse timesRepeat to do collect select reject detect inject into and or not new\n"
    u"value yourself printString displayString isNil notNil subclass instanceVariableNames\n"
    u"classVariableNames package printOn at put size add remove includes";
constexpr U16View jsonnetKeywords =
    u"assert else error false for function if import importstr importbin in local null self\n"
    u"super tailstrict then true std";
constexpr U16View cypherKeywords =
    u"MATCH OPTIONAL WHERE RETURN WITH UNWIND ORDER BY SKIP LIMIT CREATE MERGE SET DELETE\n"
    u"DETACH REMOVE FOREACH CALL YIELD UNION ALL DISTINCT AS AND OR XOR NOT IN IS NULL TRUE\n"
    u"FALSE STARTS ENDS CONTAINS CASE WHEN THEN ELSE END ON ASC DESC ASCENDING DESCENDING\n"
    u"EXISTS COUNT COLLECT SUM AVG MIN MAX SIZE LABELS KEYS TYPE ID COALESCE LAST RANGE INDEX\n"
    u"CONSTRAINT UNIQUE DROP FROM USING COMMIT";
constexpr U16View sparqlKeywords =
    u"SELECT CONSTRUCT DESCRIBE ASK WHERE FROM NAMED PREFIX BASE OPTIONAL FILTER UNION MINUS\n"
    u"GRAPH SERVICE SILENT BIND VALUES AS GROUP BY HAVING ORDER ASC DESC LIMIT OFFSET DISTINCT\n"
    u"REDUCED A TRUE FALSE NOT IN EXISTS INSERT DELETE DATA WITH USING DEFAULT ALL LOAD CLEAR\n"
    u"DROP CREATE ADD MOVE COPY INTO TO UNDEF COUNT SUM MIN MAX AVG SAMPLE GROUP_CONCAT\n"
    u"SEPARATOR STR LANG DATATYPE BOUND IRI URI ABS CEIL FLOOR ROUND CONCAT STRLEN UCASE LCASE\n"
    u"CONTAINS STRSTARTS STRENDS NOW UUID COALESCE IF REGEX SUBSTR REPLACE";
constexpr U16View rescriptKeywords =
    u"and as assert async await constraint downto else exception external false for if in\n"
    u"include lazy let module mutable of open private rec switch to true try type when while\n"
    u"with unit int float string bool array list option Some None Ok Error Js Belt Console log\n"
    u"promise ref raise ignore exn result";
constexpr U16View elmKeywords =
    u"if then else case of let in type alias module import exposing as port infix effect where\n"
    u"True False Int Float String Bool Maybe";
constexpr U16View purescriptKeywords =
    u"module where import data type newtype class instance derive do ado let in case of if\n"
    u"then else foreign infix infixl infixr forall as hiding qualified kind role true false";
constexpr U16View racketKeywords =
    u"define define-values define-syntax define-syntax-rule define-struct lambda let letrec\n"
    u"let-values case-lambda if cond case else when unless and or not begin quote quasiquote\n"
    u"unquote require provide module struct match for in-range in-list in-vector in-naturals\n"
    u"values call-with-values apply map filter foldl foldr display displayln printf list cons\n"
    u"car cdr null empty raise error with-handlers parameterize syntax-rules syntax-case true\n"
    u"false hash vector string-append assoc length append reverse sort";
constexpr U16View lispKeywords =
    u"defun defmacro defvar defparameter defconstant defclass defmethod defstruct lambda let\n"
    u"flet labels if when unless cond case progn block return return-from loop dolist dotimes\n"
    u"do setq setf incf decf push pop and or not nil t quote function funcall apply mapcar car\n"
    u"cdr cons list append length format print error declare eq eql equal null interactive\n"
    u"require provide defcustom defgroup defface use-package add-hook global-set-key\n"
    u"save-excursion with-current-buffer message";
constexpr U16View rakuKeywords =
    u"my our has state constant sub method submethod multi proto only class role grammar\n"
    u"module package unit use need import require is does but if elsif else unless with for\n"
    u"loop while until repeat given when default do gather take return leave last next redo\n"
    u"fail die try CATCH CONTROL BEGIN END INIT ENTER LEAVE FIRST NEXT LAST say put print note\n"
    u"True False Nil Any Mu Int Str Num Rat Bool Array Hash self and or not xor let where of\n"
    u"token rule regex";
constexpr U16View cmakeKeywords =
    u"cmake_minimum_required project add_executable add_library add_subdirectory\n"
    u"add_custom_command add_custom_target add_compile_options add_compile_definitions\n"
    u"add_test target_link_libraries target_include_directories target_compile_definitions\n"
    u"target_compile_options target_compile_features target_sources set unset option if elseif\n"
    u"else endif foreach endforeach while endwhile function endfunction macro endmacro return\n"
    u"break continue include include_directories find_package find_library find_path\n"
    u"find_program message install configure_file file list string math get_filename_component\n"
    u"get_target_property set_target_properties set_property enable_testing execute_process\n"
    u"STATIC SHARED MODULE INTERFACE PUBLIC PRIVATE IMPORTED ALIAS REQUIRED COMPONENTS NOT AND\n"
    u"OR DEFINED STREQUAL EXISTS TARGET ON OFF TRUE FALSE CACHE STRING BOOL PATH FILEPATH\n"
    u"PARENT_SCOPE FATAL_ERROR WARNING STATUS";
constexpr U16View vbaKeywords =
    u"DIM AS SET LET CONST PRIVATE PUBLIC GLOBAL STATIC SUB FUNCTION PROPERTY GET END EXIT\n"
    u"CALL IF THEN ELSE ELSEIF SELECT CASE FOR EACH IN TO STEP NEXT DO LOOP WHILE WEND UNTIL\n"
    u"WITH NEW NOTHING NULL EMPTY TRUE FALSE AND OR NOT XOR MOD IS LIKE BYVAL BYREF OPTIONAL\n"
    u"PARAMARRAY OPTION EXPLICIT BASE COMPARE ON ERROR RESUME GOTO GOSUB RETURN REDIM PRESERVE\n"
    u"TYPE ENUM INTEGER LONG SINGLE DOUBLE CURRENCY STRING BOOLEAN DATE VARIANT OBJECT BYTE ME\n"
    u"DEBUG MSGBOX INPUTBOX APPLICATION ACTIVESHEET ACTIVEWORKBOOK ACTIVECELL WORKBOOKS\n"
    u"WORKSHEETS SHEETS RANGE CELLS THISWORKBOOK SELECTION ROWS COLUMNS RAISEEVENT EVENT\n"
    u"IMPLEMENTS DECLARE LIB STOP";
constexpr U16View applescriptKeywords =
    u"about above after and around as at back before beginning behind below beside between but\n"
    u"by considering contain contains continue copy div does else end equal equals error every\n"
    u"exit false first for from front get given global if ignoring in instead into is it its\n"
    u"last local me mod my not of on onto or out over prop property put ref reference repeat\n"
    u"return returning script set since some tell that the then through thru timeout times to\n"
    u"transaction true try until where while whose with without application activate display\n"
    u"dialog";
constexpr U16View dotKeywords =
    u"graph digraph subgraph node edge strict label shape color style fillcolor fontname\n"
    u"fontsize fontcolor rankdir rank size ratio splines nodesep ranksep bgcolor penwidth\n"
    u"arrowhead arrowtail dir weight width height URL tooltip compound layout margin pos\n"
    u"xlabel headlabel taillabel";
constexpr U16View plantumlKeywords =
    u"startuml enduml actor participant control entity database usecase class interface\n"
    u"abstract enum annotation package namespace node component artifact folder frame cloud\n"
    u"storage rectangle state object map note end left right top bottom of over as title\n"
    u"header footer legend caption skinparam autonumber activate deactivate destroy create\n"
    u"return alt else opt loop par break critical group ref box newpage hide show together\n"
    u"extends implements start stop if then endif while endwhile fork again repeat";
constexpr U16View gdscriptKeywords =
    u"if elif else for while match break continue pass return class class_name extends is in\n"
    u"as self signal func static const enum var onready export setget breakpoint preload await\n"
    u"yield assert void tool super true false null and or not PI TAU INF NAN int float bool\n"
    u"String Vector2 Vector3 Node Array Dictionary print push_error get_node queue_free\n"
    u"emit_signal connect load range len Color Object Resource Callable";
constexpr U16View glslKeywords =
    u"attribute const uniform varying buffer shared coherent volatile restrict readonly\n"
    u"writeonly layout centroid flat smooth noperspective patch sample break continue do for\n"
    u"while switch case default if else subroutine in out inout float double int void bool\n"
    u"true false invariant precise discard return mat2 mat3 mat4 dmat2 dmat3 dmat4 mat2x2\n"
    u"mat2x3 mat2x4 mat3x2 mat3x3 mat3x4 mat4x2 mat4x3 mat4x4 vec2 vec3 vec4 ivec2 ivec3 ivec4\n"
    u"bvec2 bvec3 bvec4 dvec2 dvec3 dvec4 uint uvec2 uvec3 uvec4 lowp mediump highp precision\n"
    u"sampler1D sampler2D sampler3D samplerCube sampler1DShadow sampler2DShadow\n"
    u"samplerCubeShadow sampler1DArray sampler2DArray sampler2DArrayShadow isampler2D\n"
    u"usampler2D sampler2DRect samplerBuffer sampler2DMS image2D struct texture texture2D\n"
    u"textureLod texelFetch mix clamp smoothstep step normalize dot cross length distance\n"
    u"reflect refract pow exp log sqrt inversesqrt abs sign floor ceil fract mod min max sin\n"
    u"cos tan asin acos atan radians degrees dFdx dFdy fwidth gl_Position gl_FragCoord\n"
    u"gl_FragColor gl_VertexID gl_InstanceID gl_FragDepth gl_PointSize main float2 float3\n"
    u"float4 half cbuffer atomic_uint isampler3D";
constexpr U16View regoKeywords =
    u"package import as default else every if in contains some not with true false null input\n"
    u"data allow deny count sum max min sort concat sprintf startswith endswith object array\n"
    u"set union intersection trace print is_string is_number http time regex json base64\n"
    u"future";
constexpr U16View cueKeywords =
    u"package import let for in if true false null _ bool int float string bytes number top\n"
    u"len close and or div mod quo rem uint";
constexpr U16View dhallKeywords =
    u"if then else let in as using merge missing toMap showConstructor with forall assert Some\n"
    u"None True False Natural Integer Double Text Bool List Optional Type Kind Sort Date Time";
constexpr U16View bicepKeywords =
    u"targetScope param var resource module output existing for in if import using metadata\n"
    u"type func provider with as true false null string int bool object array any\n"
    u"resourceGroup subscription tenant managementGroup concat contains length union json";
constexpr U16View starlarkKeywords =
    u"and break continue def elif else for if in lambda load not or pass return True False\n"
    u"None print len range list dict str int bool tuple type hasattr getattr sorted reversed\n"
    u"enumerate zip min max any all fail struct select glob package workspace cc_library\n"
    u"cc_binary cc_test py_library py_binary py_test java_library filegroup genrule\n"
    u"exports_files visibility deps srcs name rule attr";
constexpr U16View bibtexKeywords =
    u"ARTICLE BOOK BOOKLET CONFERENCE INBOOK INCOLLECTION INPROCEEDINGS MANUAL MASTERSTHESIS\n"
    u"MISC PHDTHESIS PROCEEDINGS TECHREPORT UNPUBLISHED ONLINE STRING PREAMBLE COMMENT AUTHOR\n"
    u"TITLE JOURNAL YEAR VOLUME NUMBER PAGES MONTH PUBLISHER ADDRESS EDITOR EDITION SERIES\n"
    u"CHAPTER SCHOOL INSTITUTION ORGANIZATION HOWPUBLISHED NOTE KEY DOI URL ISBN ISSN ABSTRACT\n"
    u"KEYWORDS BOOKTITLE TYPE CROSSREF ANNOTE URLDATE EPRINT LANGUAGE AND";
constexpr U16View promqlKeywords =
    u"sum min max avg group stddev stdvar count count_values bottomk topk quantile by without\n"
    u"on ignoring group_left group_right and or unless offset bool abs absent absent_over_time\n"
    u"ceil changes clamp clamp_max clamp_min day_of_month day_of_week days_in_month delta\n"
    u"deriv exp floor histogram_quantile hour idelta increase irate label_join label_replace\n"
    u"ln log2 log10 minute month predict_linear rate resets round scalar sort sort_desc sqrt\n"
    u"time timestamp vector year avg_over_time min_over_time max_over_time sum_over_time\n"
    u"count_over_time quantile_over_time stddev_over_time last_over_time present_over_time\n"
    u"atan2 inf nan";
constexpr U16View kustoKeywords =
    u"where project project-away project-rename project-keep project-reorder extend summarize\n"
    u"by take limit top sort order asc desc join union let count distinct render parse\n"
    u"parse-where mv-expand mv-apply evaluate invoke as on kind inner leftouter datatable\n"
    u"print range make-series search find partition sample serialize lookup materialize\n"
    u"toscalar ago now datetime timespan bin floor ceiling iff iif case isnull isnotnull\n"
    u"isempty isnotempty tostring toint tolong todouble toreal tobool todatetime totimespan\n"
    u"strcat strlen substring split replace trim tolower toupper extract contains has\n"
    u"startswith endswith matches regex in and or not between dcount avg sum min max countif\n"
    u"sumif dcountif arg_max arg_min make_list make_set percentile stdev variance true false\n"
    u"null dynamic string int long real bool";
constexpr U16View gleamKeywords =
    u"as assert auto case const delegate derive echo else fn if implement import let macro\n"
    u"opaque panic pub test type use True False Nil Int Float String Bool List Result Ok\n"
    u"Error BitArray";
constexpr U16View odinKeywords =
    u"asm auto_cast bit_set break case cast context continue defer distinct do dynamic else\n"
    u"enum fallthrough for foreign if import in map not_in or_else or_return package proc\n"
    u"return struct switch transmute typeid union using when where nil true false int uint i8\n"
    u"i16 i32 i64 u8 u16 u32 u64 f32 f64 bool string rawptr rune byte any len cap size_of\n"
    u"align_of offset_of type_of make new delete free append matrix or_break or_continue";
constexpr U16View mojoKeywords =
    u"fn def struct trait var let alias raises inout owned borrowed ref mut out self Self\n"
    u"import from as if elif else for while break continue pass return try except finally\n"
    u"raise with lambda yield in is not and or True False None async await print len range Int\n"
    u"Float64 String Bool List Dict SIMD DType Pointer capturing always_inline parameter\n"
    u"register_passable value staticmethod Tuple Optional";
constexpr U16View vlangKeywords =
    u"as asm assert atomic break const continue defer else enum false fn for go goto if import\n"
    u"in interface is lock match module mut none or pub return rlock select shared sizeof\n"
    u"spawn static struct true type typeof union unsafe volatile int i8 i16 i64 u8 u16 u32 u64\n"
    u"f32 f64 bool string rune voidptr println";
constexpr U16View valaKeywords =
    u"abstract as async base break case catch class const construct continue default delegate\n"
    u"delete do dynamic else ensures enum errordomain extern false finally for foreach get if\n"
    u"in inline interface internal is lock namespace new null out override owned params\n"
    u"private protected public ref requires return set signal sizeof static struct switch this\n"
    u"throw throws true try typeof unowned using value var virtual void weak while yield bool\n"
    u"char int uint string double float";
constexpr U16View hackKeywords =
    u"abstract arraykey as async await break case catch class classname const continue default\n"
    u"do echo else elseif enum extends final finally for foreach function if implements\n"
    u"include inout instanceof insteadof interface is keyset list namespace new newtype\n"
    u"nonnull noreturn null num private protected public require require_once return self\n"
    u"shape static super switch throw trait try tuple type use vec dict void while yield int\n"
    u"float bool string mixed true false parent dynamic nothing this";
constexpr U16View xqueryKeywords =
    u"xquery version module namespace import schema declare function variable option let for\n"
    u"in where order by ascending descending return if then else some every satisfies\n"
    u"typeswitch switch case default as instance of treat castable cast and or div idiv mod\n"
    u"union intersect except to eq ne lt le gt ge is element attribute text node document\n"
    u"comment processing-instruction empty-sequence item external at count group stable\n"
    u"collation preserve strip try catch true false not doc collection";
constexpr U16View turtleKeywords =
    u"PREFIX BASE GRAPH A TRUE FALSE";
constexpr U16View abapKeywords =
    u"DATA TYPE TYPES LIKE VALUE CONSTANTS PARAMETERS SELECT-OPTIONS TABLES FIELD-SYMBOLS\n"
    u"BEGIN END OF OCCURS WITH HEADER LINE REF TO CLASS DEFINITION IMPLEMENTATION ENDCLASS\n"
    u"METHOD METHODS ENDMETHOD PUBLIC PROTECTED PRIVATE SECTION INHERITING FROM INTERFACE\n"
    u"INTERFACES ENDINTERFACE CREATE OBJECT NEW CALL FUNCTION EXPORTING IMPORTING CHANGING\n"
    u"RETURNING RAISING EXCEPTIONS FORM ENDFORM PERFORM USING IF ELSEIF ELSE ENDIF CASE WHEN\n"
    u"OTHERS ENDCASE DO ENDDO WHILE ENDWHILE LOOP AT INTO ASSIGNING ENDLOOP EXIT CONTINUE\n"
    u"CHECK RETURN SELECT SINGLE ENDSELECT WHERE ORDER BY UP ROWS INSERT UPDATE MODIFY DELETE\n"
    u"APPEND CLEAR REFRESH FREE MOVE WRITE SKIP ULINE MESSAGE READ TABLE KEY SORT ASCENDING\n"
    u"DESCENDING TRY CATCH ENDTRY RAISE EXCEPTION AND OR NOT IS INITIAL BOUND ASSIGNED\n"
    u"SUPPLIED EQ NE LT GT LE GE BETWEEN IN REPORT PROGRAM START-OF-SELECTION END-OF-SELECTION\n"
    u"INITIALIZATION STRING XSTRING ABAP_TRUE ABAP_FALSE ABAP_BOOL";
constexpr U16View actionscriptKeywords =
    u"as break case catch class const continue default delete do dynamic each else extends\n"
    u"false final finally for function get if implements import in include instanceof\n"
    u"interface internal is namespace native new null override package private protected\n"
    u"public return set static super switch this throw true try typeof use var void while with\n"
    u"int uint Number String Boolean Object Array Function Vector trace Math XML undefined";
constexpr U16View agdaKeywords =
    u"abstract constructor data do field forall import in inductive infix infixl infixr\n"
    u"instance let macro module mutual open pattern postulate primitive private public quote\n"
    u"record renaming rewrite syntax unquote using variable where with Set Prop";
constexpr U16View apexKeywords =
    u"abstract after before break catch class continue delete do else enum extends false final\n"
    u"finally for get global if implements insert instanceof interface merge new null on\n"
    u"override private protected public return set static super switch this throw transient\n"
    u"trigger true try undelete update upsert virtual void when while with sharing without\n"
    u"inherited select from where limit order by asc desc nulls first last and or not in like\n"
    u"includes excludes group having offset integer long double decimal string boolean date\n"
    u"datetime id object list map blob sobject system database";
constexpr U16View autohotkeyKeywords =
    u"if else loop while for in until break continue return goto gosub global local static\n"
    u"class extends new this base true false try catch finally throw MsgBox Send SendInput Run\n"
    u"Sleep ExitApp Reload WinActivate WinWait IfWinActive IfWinExist SetTitleMatchMode Hotkey\n"
    u"SetKeyDelay InputBox ToolTip TrayTip FileAppend FileRead FileDelete StringReplace\n"
    u"StringSplit RegExMatch RegExReplace StrLen SubStr InStr Click MouseMove SendMode Include\n"
    u"Requires SingleInstance Persistent NoEnv";
constexpr U16View eiffelKeywords =
    u"alias all and as attached check class create Current debug deferred detachable do else\n"
    u"elseif end ensure export external False feature from if implies inherit inspect\n"
    u"invariant like local loop not note old once only or Precursor redefine rename require\n"
    u"rescue Result retry select some then True TUPLE undefine until Void when xor INTEGER\n"
    u"STRING BOOLEAN REAL";
constexpr U16View forthKeywords =
    u"if else then begin until while repeat again do loop leave exit recurse variable constant\n"
    u"value to create allot cells cell dup drop swap over rot pick and or xor invert negate\n"
    u"abs min max mod emit cr type key accept bye words see immediate literal include require\n"
    u"base decimal hex here execute char";
constexpr U16View hamlKeywords =
    u"if else elsif unless case when end do each for in while yield def class nil true false\n"
    u"self and or not render";
constexpr U16View idrisKeywords =
    u"module where import namespace data record interface implementation public export private\n"
    u"total partial case of let in if then else do with rewrite mutual using auto default\n"
    u"infix infixl infixr prefix Type Nat String Bool IO main";
constexpr U16View kdlKeywords =
    u"true false null inf nan";
constexpr U16View leanKeywords =
    u"theorem lemma def example instance class structure inductive where extends deriving\n"
    u"namespace section end open import variable axiom partial private protected mutual\n"
    u"attribute local macro syntax notation infix infixl infixr prefix fun let have show from\n"
    u"by at calc match with if then else do return for in unless mut try catch finally Type\n"
    u"Prop Sort true false Nat Int String Bool List Option sorry rfl simp exact intro apply";
constexpr U16View moonscriptKeywords =
    u"if then else elseif unless switch when for while do in with import from export class\n"
    u"extends return break continue local using and or not true false nil self super new";
constexpr U16View nushellKeywords =
    u"def export extern let mut const if else match for in while loop break continue return\n"
    u"try catch use module alias source overlay hide true false null and or not xor mod where\n"
    u"each select get reject sort-by group-by length first last skip take open save ls cd\n"
    u"mkdir rm mv cp echo print str into to from table describe insert update upsert append\n"
    u"prepend reduce enumerate wrap flatten columns uniq http error make do";
constexpr U16View openscadKeywords =
    u"module function include use if else for let each assert echo true false undef\n"
    u"intersection_for cube sphere cylinder polyhedron square circle polygon text translate\n"
    u"rotate scale resize mirror multmatrix color offset hull minkowski union difference\n"
    u"intersection linear_extrude rotate_extrude surface projection render children import str\n"
    u"len concat lookup abs sin cos max";
constexpr U16View postscriptKeywords =
    u"def dup pop exch copy index roll clear count mark add sub mul div mod neg abs sqrt sin\n"
    u"cos atan exp ln log round floor eq ne gt ge lt le and or not xor true false if ifelse\n"
    u"for repeat loop exit forall begin end dict array string length get put load store where\n"
    u"newpath moveto lineto curveto arc closepath stroke fill clip gsave grestore translate\n"
    u"rotate scale setlinewidth setrgbcolor setgray findfont scalefont setfont show showpage\n"
    u"stringwidth bind exec";
constexpr U16View pugKeywords =
    u"if else unless case when default each while for in block extends include mixin append\n"
    u"prepend yield doctype html head body div span p a img ul ol li table tr td th form input\n"
    u"button label select option textarea script style link meta title h1 h2 h3 h4 nav header\n"
    u"footer section article main br hr em strong h5 h6 pre code iframe svg";
constexpr U16View puppetKeywords =
    u"and case class default define else elsif false if in import inherits node or true undef\n"
    u"unless unique node_group function type attr private application consumes produces site\n"
    u"include require contain notify subscribe before file package service exec user group\n"
    u"cron mount host tidy notice warning fail template epp lookup realize defined";
constexpr U16View qmlKeywords =
    u"import as property signal alias readonly default required function var let const if else\n"
    u"for while do switch case break continue return new delete typeof instanceof in of try\n"
    u"catch finally throw true false null undefined this parent id component enum on int real\n"
    u"double bool string url color date list variant Item Rectangle Text Image MouseArea Row\n"
    u"Column Repeater ListView Window Timer Connections Component QtObject anchors Flickable\n"
    u"Loader Behavior State Transition";
constexpr U16View qsharpKeywords =
    u"namespace open operation function newtype let mutable set use borrow within apply if\n"
    u"elif else for in while repeat until fixup return fail is body adjoint controlled auto\n"
    u"intrinsic distribute invert self true false not and or Unit Int BigInt Double Bool\n"
    u"String Qubit Result Range Pauli Zero One PauliI PauliX PauliY PauliZ CNOT CCNOT SWAP Rx\n"
    u"Ry Rz Measure Reset ResetAll Message Length Microsoft Quantum Intrinsic Canon new\n"
    u"Adjoint";
constexpr U16View rexxKeywords =
    u"ADDRESS ARG CALL DO DROP ELSE END EXIT IF INTERPRET ITERATE LEAVE NOP NUMERIC OPTIONS\n"
    u"OTHERWISE PARSE PROCEDURE PULL PUSH QUEUE RETURN SAY SELECT SIGNAL THEN TRACE UPPER WHEN\n"
    u"WHILE UNTIL FOREVER TO BY FOR WITH VALUE VAR SOURCE VERSION EXPOSE ON OFF NAME DIGITS\n"
    u"LENGTH SUBSTR POS WORD WORDS STRIP";
constexpr U16View robotframeworkKeywords =
    u"Settings Variables Keywords Tasks Library Resource Documentation Suite Setup Teardown\n"
    u"Test Template Timeout Tags Default Arguments Return FOR IN RANGE ENUMERATE ZIP END IF\n"
    u"ELSE WHILE TRY EXCEPT FINALLY BREAK CONTINUE RETURN VAR Log Should Be Equal Set Variable\n"
    u"Run Keyword Cases Comments";
constexpr U16View sasKeywords =
    u"DATA RUN PROC QUIT SET MERGE UPDATE BY IF THEN ELSE DO END WHILE UNTIL TO OUTPUT DELETE\n"
    u"KEEP DROP RENAME RETAIN LENGTH FORMAT INFORMAT LABEL ARRAY INPUT INFILE FILE PUT CARDS\n"
    u"DATALINES WHERE LIBNAME FILENAME OPTIONS TITLE FOOTNOTE ODS MACRO MEND LET GLOBAL LOCAL\n"
    u"INCLUDE SELECT WHEN OTHERWISE SQL PRINT MEANS FREQ SORT CONTENTS DATASETS IMPORT EXPORT\n"
    u"CLASS VAR MODEL TABLES OUT AND OR NOT IN EQ NE LT GT LE GE SUM MEAN MIN MAX";
constexpr U16View slimKeywords =
    u"doctype html head body div span p a img ul ol li table tr td form input button script\n"
    u"style link meta title h1 h2 h3 nav header footer section article main if else elsif\n"
    u"unless each do end case when";
constexpr U16View smlKeywords =
    u"and andalso as case datatype do else end exception fn fun functor handle if in include\n"
    u"infix infixr let local of op open orelse raise rec sharing sig signature struct\n"
    u"structure then type val where while with true false nil ref int real string bool char\n"
    u"unit list option SOME NONE print";
constexpr U16View stataKeywords =
    u"if in using by bysort foreach forvalues while continue break quietly noisily capture\n"
    u"program end syntax args local global tempvar tempname tempfile scalar matrix generate\n"
    u"gen replace drop keep rename label sort merge append collapse reshape summarize sum\n"
    u"tabulate tab regress reg logit probit predict display di list describe use save clear\n"
    u"set import export egen count assert return ereturn preserve restore estimates xtset\n"
    u"tsset xtreg";
constexpr U16View thriftKeywords =
    u"namespace include cpp_include typedef enum struct union exception service extends oneway\n"
    u"void throws required optional const bool byte i8 i16 i32 i64 double string binary list\n"
    u"set map slist uuid";
constexpr U16View typespecKeywords =
    u"import using namespace model op interface union enum scalar alias is extends dec fn\n"
    u"extern typeof if else void never unknown null true false string int8 int16 int32 int64\n"
    u"uint8 uint16 uint32 uint64 integer float float32 float64 decimal numeric boolean bytes\n"
    u"url Record Array doc route get post put delete";

enum class Str { none, DQ, SQ, SQplain, CH, BQ, TDQ, TSQ, DSQ, TPIPE, PAREN };

StringRule stringRule(Str s)
{
    switch (s) {
    case Str::DQ: return {u"\"", u"\"", false, true, false};
    case Str::SQ: return {u"'", u"'", false, true, false};
    case Str::SQplain: return {u"'", u"'", false, false, false};
    case Str::CH: return {u"'", u"'", false, true, true};
    case Str::BQ: return {u"`", u"`", true, true, false};
    case Str::TDQ: return {u"\"\"\"", u"\"\"\"", true, true, false};
    case Str::TSQ: return {u"'''", u"'''", true, true, false};
    case Str::DSQ: return {u"''", u"''", true, true, false};
    case Str::TPIPE: return {u"|||", u"|||", true, true, false};
    case Str::PAREN: return {u"(", u")", true, true, false};
    case Str::none: break;
    }
    return {};
}

enum Flag : unsigned { CapitalizedIsType = 1u, CaseInsensitive = 2u, Hyphen = 4u };

struct LanguageDefinition {
    U16View name;
    std::array<U16View, 2> lineComment;  // unused entries are empty
    CommentPair blockComment;            // an empty opener means none
    std::array<Str, 4> strings;          // Str::none ends the list
    unsigned flags;
    char16_t sigil;                      // 0 for none
    U16View keywordText;
};

using enum Str;

// One row per rule-driven language, in declaration order.
constexpr std::array<LanguageDefinition, 119> definitions = {{
    {u"swift", {u"//"}, {u"/*", u"*/"}, {TDQ, DQ}, CapitalizedIsType, u'@', swiftKeywords},
    {u"javascript", {u"//"}, {u"/*", u"*/"}, {DQ, SQ, BQ}, CapitalizedIsType, 0, javascriptKeywords},
    {u"typescript", {u"//"}, {u"/*", u"*/"}, {DQ, SQ, BQ}, CapitalizedIsType, 0, typescriptKeywords},
    {u"python", {u"#"}, {}, {TDQ, TSQ, DQ, SQ}, 0u, 0, pythonKeywords},
    {u"ruby", {u"#"}, {}, {DQ, SQ}, CapitalizedIsType, 0, rubyKeywords},
    {u"go", {u"//"}, {u"/*", u"*/"}, {DQ, BQ, CH}, CapitalizedIsType, 0, goKeywords},
    {u"rust", {u"//"}, {u"/*", u"*/"}, {DQ, CH}, CapitalizedIsType, 0, rustKeywords},
    {u"c", {u"//"}, {u"/*", u"*/"}, {DQ, CH}, 0u, 0, cKeywords},
    {u"cpp", {u"//"}, {u"/*", u"*/"}, {DQ, CH}, CapitalizedIsType, 0, cppKeywords},
    {u"csharp", {u"//"}, {u"/*", u"*/"}, {DQ, CH}, CapitalizedIsType, 0, csharpKeywords},
    {u"java", {u"//"}, {u"/*", u"*/"}, {DQ, CH}, CapitalizedIsType, u'@', javaKeywords},
    {u"kotlin", {u"//"}, {u"/*", u"*/"}, {TDQ, DQ, CH}, CapitalizedIsType, u'@', kotlinKeywords},
    {u"php", {u"//", u"#"}, {u"/*", u"*/"}, {DQ, SQ}, CapitalizedIsType, 0, phpKeywords},
    {u"sql", {u"--"}, {u"/*", u"*/"}, {SQplain}, CaseInsensitive, 0, sqlKeywords},
    {u"objc", {u"//"}, {u"/*", u"*/"}, {DQ, CH}, CapitalizedIsType, u'@', objcKeywords},
    {u"latex", {u"%"}, {}, {}, 0u, u'\\', latexKeywords},
    {u"vim", {u"\""}, {}, {SQ}, 0u, 0, vimKeywords},
    {u"asm", {u";"}, {}, {DQ, SQ}, 0u, 0, asmKeywords},
    {u"batch", {u"::"}, {}, {DQ}, CaseInsensitive, 0, batchKeywords},
    {u"clojure", {u";"}, {}, {DQ}, 0u, 0, clojureKeywords},
    {u"crystal", {u"#"}, {}, {DQ, SQ}, CapitalizedIsType, 0, crystalKeywords},
    {u"dart", {u"//"}, {u"/*", u"*/"}, {TDQ, TSQ, DQ, SQ}, CapitalizedIsType, 0, dartKeywords},
    {u"dockerfile", {u"#"}, {}, {DQ, SQ}, CaseInsensitive, 0, dockerfileKeywords},
    {u"elixir", {u"#"}, {}, {TDQ, DQ}, CapitalizedIsType, 0, elixirKeywords},
    {u"erlang", {u"%"}, {}, {DQ}, CapitalizedIsType, 0, erlangKeywords},
    {u"fortran", {u"!"}, {}, {DQ, SQ}, CaseInsensitive, 0, fortranKeywords},
    {u"fsharp", {u"//"}, {u"(*", u"*)"}, {TDQ, DQ, CH}, CapitalizedIsType, 0, fsharpKeywords},
    {u"gherkin", {u"#"}, {}, {TDQ, DQ}, 0u, u'@', gherkinKeywords},
    {u"graphql", {u"#"}, {}, {TDQ, DQ}, CapitalizedIsType, 0, graphqlKeywords},
    {u"groovy", {u"//"}, {u"/*", u"*/"}, {TDQ, DQ, SQ}, CapitalizedIsType, 0, groovyKeywords},
    {u"haskell", {u"--"}, {u"{-", u"-}"}, {DQ, CH}, CapitalizedIsType, 0, haskellKeywords},
    {u"julia", {u"#"}, {}, {TDQ, DQ, CH}, CapitalizedIsType, 0, juliaKeywords},
    {u"lua", {u"--"}, {}, {DQ, SQ}, 0u, 0, luaKeywords},
    {u"matlab", {u"%"}, {}, {DQ}, 0u, 0, matlabKeywords},
    {u"mermaid", {u"%%"}, {}, {DQ}, 0u, 0, mermaidKeywords},
    {u"nim", {u"#"}, {}, {TDQ, DQ, CH}, CapitalizedIsType, 0, nimKeywords},
    {u"nix", {u"#"}, {u"/*", u"*/"}, {DSQ, DQ}, 0u, 0, nixKeywords},
    {u"ocaml", {}, {u"(*", u"*)"}, {DQ, CH}, CapitalizedIsType, 0, ocamlKeywords},
    {u"pascal", {u"//"}, {u"{", u"}"}, {SQ}, CaseInsensitive, 0, pascalKeywords},
    {u"perl", {u"#"}, {}, {DQ, SQ}, 0u, 0, perlKeywords},
    {u"powershell", {u"#"}, {u"<#", u"#>"}, {DQ, SQ}, CapitalizedIsType, 0, powershellKeywords},
    {u"protobuf", {u"//"}, {u"/*", u"*/"}, {DQ, SQ}, CapitalizedIsType, 0, protobufKeywords},
    {u"r", {u"#"}, {}, {DQ, SQ}, 0u, 0, rKeywords},
    {u"scala", {u"//"}, {u"/*", u"*/"}, {TDQ, DQ, CH}, CapitalizedIsType, 0, scalaKeywords},
    {u"scheme", {u";"}, {}, {DQ}, 0u, 0, schemeKeywords},
    {u"solidity", {u"//"}, {u"/*", u"*/"}, {DQ, SQ}, CapitalizedIsType, 0, solidityKeywords},
    {u"terraform", {u"#", u"//"}, {u"/*", u"*/"}, {DQ}, 0u, 0, terraformKeywords},
    {u"zig", {u"//"}, {}, {DQ, CH}, CapitalizedIsType, 0, zigKeywords},
    {u"tcl", {u"#"}, {}, {DQ}, 0u, 0, tclKeywords},
    {u"awk", {u"#"}, {}, {DQ}, 0u, 0, awkKeywords},
    {u"prolog", {u"%"}, {u"/*", u"*/"}, {DQ, SQ}, CapitalizedIsType, 0, prologKeywords},
    {u"ada", {u"--"}, {}, {DQ, CH}, CapitalizedIsType | CaseInsensitive, 0, adaKeywords},
    {u"d", {u"//"}, {u"/*", u"*/"}, {DQ, BQ, CH}, CapitalizedIsType, 0, dKeywords},
    {u"haxe", {u"//"}, {u"/*", u"*/"}, {DQ, SQ}, CapitalizedIsType, u'@', haxeKeywords},
    {u"coffeescript", {u"#"}, {u"###", u"###"}, {DQ, SQ}, CapitalizedIsType, 0, coffeescriptKeywords},
    {u"vbnet", {u"'"}, {}, {DQ}, CaseInsensitive, 0, vbnetKeywords},
    {u"verilog", {u"//"}, {u"/*", u"*/"}, {DQ}, 0u, 0, verilogKeywords},
    {u"vhdl", {u"--"}, {}, {DQ, CH}, CaseInsensitive, 0, vhdlKeywords},
    {u"cobol", {u"*>"}, {}, {DQ, SQ}, CaseInsensitive | Hyphen, 0, cobolKeywords},
    {u"smalltalk", {}, {u"\"", u"\""}, {SQ}, CapitalizedIsType, 0, smalltalkKeywords},
    {u"jsonnet", {u"//", u"#"}, {u"/*", u"*/"}, {TPIPE, DQ, SQ}, 0u, 0, jsonnetKeywords},
    {u"cypher", {u"//"}, {u"/*", u"*/"}, {DQ, SQ}, CapitalizedIsType | CaseInsensitive, 0, cypherKeywords},
    {u"sparql", {u"#"}, {}, {TDQ, DQ, SQ}, CaseInsensitive, 0, sparqlKeywords},
    {u"rescript", {u"//"}, {u"/*", u"*/"}, {BQ, DQ, CH}, CapitalizedIsType, 0, rescriptKeywords},
    {u"elm", {u"--"}, {u"{-", u"-}"}, {TDQ, DQ, CH}, CapitalizedIsType, 0, elmKeywords},
    {u"purescript", {u"--"}, {u"{-", u"-}"}, {TDQ, DQ, CH}, CapitalizedIsType, 0, purescriptKeywords},
    {u"racket", {u";"}, {u"#|", u"|#"}, {DQ}, Hyphen, 0, racketKeywords},
    {u"lisp", {u";"}, {u"#|", u"|#"}, {DQ}, Hyphen, 0, lispKeywords},
    {u"raku", {u"#"}, {}, {DQ, SQ}, CapitalizedIsType, 0, rakuKeywords},
    {u"cmake", {u"#"}, {}, {DQ}, CapitalizedIsType, 0, cmakeKeywords},
    {u"vba", {u"'"}, {}, {DQ}, CaseInsensitive, 0, vbaKeywords},
    {u"applescript", {u"--", u"#"}, {u"(*", u"*)"}, {DQ}, 0u, 0, applescriptKeywords},
    {u"dot", {u"//", u"#"}, {u"/*", u"*/"}, {DQ}, 0u, 0, dotKeywords},
    {u"plantuml", {u"'"}, {u"/'", u"'/"}, {DQ}, 0u, u'@', plantumlKeywords},
    {u"gdscript", {u"#"}, {}, {TDQ, DQ, SQ}, CapitalizedIsType, 0, gdscriptKeywords},
    {u"glsl", {u"//"}, {u"/*", u"*/"}, {DQ}, CapitalizedIsType, u'@', glslKeywords},
    {u"rego", {u"#"}, {}, {DQ, BQ}, 0u, 0, regoKeywords},
    {u"cue", {u"//"}, {}, {TDQ, DQ, SQ}, 0u, 0, cueKeywords},
    {u"dhall", {u"--"}, {u"{-", u"-}"}, {DSQ, DQ}, CapitalizedIsType, 0, dhallKeywords},
    {u"bicep", {u"//"}, {u"/*", u"*/"}, {TSQ, SQ}, 0u, 0, bicepKeywords},
    {u"starlark", {u"#"}, {}, {TDQ, DQ, SQ}, 0u, 0, starlarkKeywords},
    {u"bibtex", {u"%"}, {}, {DQ}, CaseInsensitive, u'@', bibtexKeywords},
    {u"promql", {u"#"}, {}, {DQ, SQ, BQ}, 0u, 0, promqlKeywords},
    {u"kusto", {u"//"}, {}, {DQ, SQ}, Hyphen, 0, kustoKeywords},
    {u"gleam", {u"//"}, {}, {DQ}, CapitalizedIsType, 0, gleamKeywords},
    {u"odin", {u"//"}, {u"/*", u"*/"}, {DQ, BQ, CH}, CapitalizedIsType, 0, odinKeywords},
    {u"mojo", {u"#"}, {}, {TDQ, DQ, SQ}, CapitalizedIsType, 0, mojoKeywords},
    {u"vlang", {u"//"}, {u"/*", u"*/"}, {DQ, SQ}, CapitalizedIsType, 0, vlangKeywords},
    {u"vala", {u"//"}, {u"/*", u"*/"}, {TDQ, DQ, CH}, CapitalizedIsType, 0, valaKeywords},
    {u"hack", {u"//", u"#"}, {u"/*", u"*/"}, {DQ, SQ}, CapitalizedIsType, 0, hackKeywords},
    {u"xquery", {}, {u"(:", u":)"}, {DQ, SQ}, Hyphen, 0, xqueryKeywords},
    {u"turtle", {u"#"}, {}, {TDQ, DQ, SQ}, CaseInsensitive, u'@', turtleKeywords},
    {u"abap", {u"\""}, {}, {SQ}, CaseInsensitive | Hyphen, 0, abapKeywords},
    {u"actionscript", {u"//"}, {u"/*", u"*/"}, {DQ, SQ}, CapitalizedIsType, 0, actionscriptKeywords},
    {u"agda", {u"--"}, {u"{-", u"-}"}, {DQ, CH}, CapitalizedIsType, 0, agdaKeywords},
    {u"apex", {u"//"}, {u"/*", u"*/"}, {SQ}, CapitalizedIsType, 0, apexKeywords},
    {u"autohotkey", {u";"}, {u"/*", u"*/"}, {DQ}, 0u, 0, autohotkeyKeywords},
    {u"eiffel", {u"--"}, {}, {DQ}, CapitalizedIsType, 0, eiffelKeywords},
    {u"forth", {u"\\"}, {u"(", u")"}, {DQ}, 0u, 0, forthKeywords},
    {u"haml", {u"-#"}, {}, {DQ, SQ}, CapitalizedIsType, 0, hamlKeywords},
    {u"idris", {u"--"}, {u"{-", u"-}"}, {DQ, CH}, CapitalizedIsType, 0, idrisKeywords},
    {u"kdl", {u"//"}, {u"/*", u"*/"}, {TDQ, DQ}, Hyphen, 0, kdlKeywords},
    {u"lean", {u"--"}, {u"/-", u"-/"}, {DQ, CH}, CapitalizedIsType, 0, leanKeywords},
    {u"moonscript", {u"--"}, {}, {DQ, SQ}, CapitalizedIsType, u'@', moonscriptKeywords},
    {u"nushell", {u"#"}, {}, {DQ, SQ, BQ}, Hyphen, 0, nushellKeywords},
    {u"openscad", {u"//"}, {u"/*", u"*/"}, {DQ}, 0u, 0, openscadKeywords},
    {u"postscript", {u"%"}, {}, {PAREN}, 0u, 0, postscriptKeywords},
    {u"pug", {u"//"}, {}, {DQ, SQ}, 0u, 0, pugKeywords},
    {u"puppet", {u"#"}, {u"/*", u"*/"}, {DQ, SQ}, CapitalizedIsType, 0, puppetKeywords},
    {u"qml", {u"//"}, {u"/*", u"*/"}, {DQ, SQ}, CapitalizedIsType, 0, qmlKeywords},
    {u"qsharp", {u"//"}, {}, {DQ}, CapitalizedIsType, 0, qsharpKeywords},
    {u"rexx", {u"--"}, {u"/*", u"*/"}, {DQ, SQ}, CaseInsensitive, 0, rexxKeywords},
    {u"robotframework", {u"#"}, {}, {DQ, SQ}, 0u, 0, robotframeworkKeywords},
    {u"sas", {}, {u"/*", u"*/"}, {DQ, SQ}, CaseInsensitive, 0, sasKeywords},
    {u"slim", {u"/"}, {}, {DQ, SQ}, 0u, 0, slimKeywords},
    {u"sml", {}, {u"(*", u"*)"}, {DQ}, CapitalizedIsType, 0, smlKeywords},
    {u"stata", {u"//"}, {u"/*", u"*/"}, {DQ}, 0u, 0, stataKeywords},
    {u"thrift", {u"//", u"#"}, {u"/*", u"*/"}, {DQ, SQ}, CapitalizedIsType, 0, thriftKeywords},
    {u"typespec", {u"//"}, {u"/*", u"*/"}, {TDQ, DQ}, CapitalizedIsType, u'@', typespecKeywords},
}};

LanguageRules build(const LanguageDefinition& d)
{
    LanguageRules r;
    r.keywords = KeywordSet(words(d.keywordText));
    for (U16View prefix : d.lineComment)
        if (!prefix.empty())
            r.lineComment.push_back(prefix);
    if (!d.blockComment.open.empty())
        r.blockComment = d.blockComment;
    for (Str s : d.strings) {
        if (s == Str::none)
            break;
        r.strings.push_back(stringRule(s));
    }
    r.capitalizedIsType = (d.flags & CapitalizedIsType) != 0;
    r.caseInsensitiveKeywords = (d.flags & CaseInsensitive) != 0;
    r.hyphenInIdentifiers = (d.flags & Hyphen) != 0;
    if (d.sigil != 0)
        r.attributeSigil = d.sigil;
    return r;
}

int definitionIndex(U16View canonical)
{
    static const std::unordered_map<U16View, int> index = [] {
        std::unordered_map<U16View, int> map;
        for (size_t i = 0; i < definitions.size(); ++i)
            map.emplace(definitions[i].name, int(i));
        return map;
    }();
    const auto it = index.find(canonical);
    return it == index.end() ? -1 : it->second;
}

} // namespace

const LanguageRules* rulesForCanonicalName(U16View canonical)
{
    const int i = definitionIndex(canonical);
    if (i < 0)
        return nullptr;
    // Each set is built on its first request and then only read.
    struct Slot {
        std::once_flag once;
        std::unique_ptr<const LanguageRules> rules;
    };
    static std::array<Slot, definitions.size()> slots;
    Slot& slot = slots[size_t(i)];
    std::call_once(slot.once, [&] { slot.rules = std::make_unique<const LanguageRules>(build(definitions[size_t(i)])); });
    return slot.rules.get();
}

const LanguageRules* rules(U16View language)
{
    return rulesForCanonicalName(canonicalName(language));
}

const std::vector<U16View>& ruleLanguageNames()
{
    static const std::vector<U16View> names = [] {
        std::vector<U16View> list;
        for (const auto& d : definitions)
            list.push_back(d.name);
        return list;
    }();
    return names;
}

} // namespace velkin::CodeHighlighter
