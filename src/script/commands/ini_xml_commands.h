// The immediate INI and XML commands, all in the 64-bit file view; file and
// XML failures never raise, they give an empty result or change nothing:
//   "Get INI File Settings": one value through the private-profile read;
//   "Get XML File Settings": element texts or attribute values along an
//     element path ("root\child\leaf", names case-sensitive; the last level
//     selects every match, in reverse document order);
//   "Evaluate XPath Query": XPath 1.0 expressions joined by "+", each
//     evaluated from the first match of the previous one; the nodes of the
//     last one as XML, name, value or text (parameter 4: 0 to 3);
//   "Edit XML File": one edit along an element path, then the file is saved.
//
// "Edit XML File" operations (parameter 7):
//   1 set the text of every selected element to parameter 5 (its other text
//     is removed, child elements stay);
//   2 add an element named by the last path name under the first element the
//     parent path selects (in document order), with text parameter 5 and
//     the attributes of parameter 6, a comma list of name=value items;
//     parameter 3 "1" inserts it as the first child, anything else appends.
//     In a document without elements, a one-name path adds the document
//     element;
//   3 delete every selected element;
//   4 set the attributes named in parameter 6 (a comma list) on every
//     selected element to parameter 8; an empty parameter 8 removes them.
// Any other operation number changes nothing; one that is not a number
// raises a script error. Parameter 9 true re-indents the whole document
// (two blanks per level); false keeps the file's own white space. Parameter
// 10 true first copies an existing file to "<file>.backup. N" (the first
// free N from 0). A missing or empty file starts a new document with an
// XML declaration of version "1.0" and the encoding of parameter 2. A file
// that exists but is not well-formed XML is left as it is. Names that are
// not XML names are refused, so an edit never writes a broken document.
// The file is written back in the encoding its declaration names (UTF-16,
// ISO-8859-1, else UTF-8), keeping a UTF-8 byte-order mark it had.
#pragma once

#include <vector>

#include "script/command_dispatch.h"

namespace kestrawl::script {

std::vector<HandlerEntry> IniXmlCommandHandlers();

}  // namespace kestrawl::script
