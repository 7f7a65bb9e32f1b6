// The names of files on an update medium: from the host's names to the
// script's, and the names that compression and splitting give them.
#pragma once

#include <cstdint>
#include <string>

namespace mkmedium {

// The script's name (CP932, '\' between folders) of a file at rel (UTF-8,
// '/' between folders) below the folder of updated files. Fails, with the
// reason in error, for a name that CP932 cannot write, that Windows cannot
// create, or that the update script would read otherwise (':', '>', '=').
bool ScriptName(const std::string& rel, std::string* name, std::string* error);

// The name of the compressed file, as COMPRESS.EXE -r and EXPAND.EXE have it:
// an extension of three or more characters loses its last one to '_'
// (MAIN.EXE: MAIN.EX_), a shorter one gets '_' added (A.C: A.C_), a name
// without one gets "._" (README: README._). missing receives the replaced
// character, 0 when none was replaced or it took two bytes.
std::string CompressedName(const std::string& name, uint8_t* missing);

// The medium's name of piece i (from 1) of a split file stored as stored,
// formed as the updater forms it.
std::string PieceName(const std::string& stored, int piece);

// The last component of a stored name: the name that a split file's pieces
// take in the root of their disks. The updater copies each piece to the
// temporary directory under the piece's own name, folders and all, and makes
// no folder there.
std::string RootName(const std::string& stored);

// The first component of a stored name: the file itself in the root of a
// disk, or the folder there that holds it.
std::string TopName(const std::string& stored);

// name (CP932, no folder) with "~k" before its extension, which keeps a final
// '_': BIG.DA_ gives BIG~2.DA_, README._ gives README~2._, X gives X~2.
std::string NumberedName(const std::string& name, int k);

// Whether name is the label of a disk in the one form that the updater
// looks for, "disk%d.fix" of the disk's number (disk2.fix, not disk02.fix),
// in any letter case, as Windows finds it; number receives the disk's number.
bool IsLabelName(const std::string& name, int* number = nullptr);

// Whether name looks like a label, "disk", digits, ".fix" in any letter case:
// the labels and the names that a person would take for one (disk02.fix).
bool LooksLikeLabel(const std::string& name);

// The label that a name like one (LooksLikeLabel) was meant to be, in the
// updater's form: disk2.fix for disk02.fix.
std::string LabelMeant(const std::string& name);

// Orders CP932 names as Windows tells them apart: letter case ignored.
struct NoCaseLess {
  bool operator()(const std::string& a, const std::string& b) const;
};

// A CP932 text as UTF-8 for messages; bytes that are not CP932 as \xNN.
std::string Readable(const std::string& cp932);

}  // namespace mkmedium
