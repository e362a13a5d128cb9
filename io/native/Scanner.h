// Token scanner of the native scene format, and the value readers that the
// objects' parse operations share. The scanner reads from a stack of at most
// ten open inputs (files or in-memory texts); the state is process-wide, so
// one scene is scanned at a time.
//
// Grammar, longest match first, ties to the earlier rule: "/*" opens a
// comment (comments nest; a "*/" inside quotes does not close one), "*/" is a
// token, "//" is dropped (the rest of the line is scanned normally), quoted
// texts on one line are tokens with their quotes, words are letters, digits
// and underscores starting with a letter or underscore, numbers are hex,
// integer, signed integer and decimal forms with an optional exponent, the six
// brackets are tokens, and every other character only separates tokens.
#pragma once

// Longest token text kept; a longer word or number is consumed whole but cut
// to this length (with a message), and a quote without its partner within this
// many characters is dropped like a quote without partner.
const int maxTokenLength = 16383;

// The next token, or nullptr when every input has ended. The text stays valid
// until the next call.
const char* nextToken();
// Opens the file through the search folders in text mode and makes it the
// current input. False (with a message) when ten inputs are already open or
// the file cannot be opened.
bool pushInput(const char* fileName);
// Pushes a copy of text as if it were a file (for tests and in-memory scenes).
bool pushInputText(const char* text);
// Closes every input and forgets the current token.
void resetScanner();
// Number of inputs open (for tests).
int scannerInputDepth();

// Reads tokens, counting open up and close down from depth, and returns when
// the count reaches 0, or at the end of input (with a message).
void skipBlock(int depth, const char* open, const char* close);
// Reads tokens up to and including the first one equal to token; the end of
// input first prints a message.
void skipTo(const char* token);

// The next token through atof; 0 for text that is no number and after the end
// of input. NaN reads as 0; magnitudes beyond float range read as infinities.
float readFloat();
void readFloat2(float& a, float& b);
void readFloat3(float& a, float& b, float& c);
// "[" v v ... "]": stores at most maxCount values (surplus values up to "]" are
// read and dropped) and returns how many were stored. When the next token is
// not "[", that token is consumed and the answer is 0.
int readFloatList(float* out, int maxCount);
// The next token through atoi (clamped to the int range); 0 after the end.
int readInt();
// Removes the first and last characters when the text is at least two long,
// begins with a double or single quote and ends with one (they need not match).
void stripQuotes(char* text);
// The next token, quotes stripped, cut to size - 1 characters. At the end of
// input out becomes empty and the answer is false.
bool readName(char* out, int size);
