#pragma once

#include <cstdint>
#include <optional>

#include "package/PackageFile.h"

// An Authenticode signature of the executable. Signing tools write the
// certificate table after the file's last byte and point the security entry of
// the PE header's data directories at it; the table is the only part of a PE
// file that lies outside its mapped image, so signing never moves the firmware
// package, it only stops it from ending the file.
namespace package {

// Bytes of the table's first WIN_CERTIFICATE header: length, revision, type.
inline constexpr std::uint32_t kCertificateHeaderSize = 8;
// Signing tools start the table on an 8-byte boundary and fill the gap with
// zero bytes, so at most this many stand between the package and the table.
inline constexpr std::uint32_t kMaxSignaturePadding = 7;

struct CertificateTable {
    std::uint64_t offset = 0;  // file offset of the table's first byte
    std::uint64_t size = 0;    // the table's length: it ends the file
};

// The security entry of a PE file's header as it stands, unchecked: nothing
// when the file has no PE header or the entry is empty. A package writer
// refuses any file that names a table here, valid or not.
std::optional<CertificateTable> ReadSecurityEntry(PackageFile& file);

// What a PE file's header says of its signature. Authenticode hashes the file
// up to the certificate table and not the table itself, so once the header
// names a table, only what stands before it is covered by the signature.
enum class SignatureState {
    Unsigned,    // no PE header, or no table named: the file is read to its end
    Signed,      // a table a signing tool could have written ends the file
    BadTable,    // a table is named that does not lie inside the file and end it
    Unreadable,  // the header could not be read
};
struct SignatureLookup {
    SignatureState state = SignatureState::Unsigned;
    CertificateTable table;  // where the table lies, when signed
};

// Reads the header and, when it names a table, checks where it lies: past the
// headers, inside the file, ending it, and long enough for one certificate
// entry. Every read is bounds-checked against the file's size, and none
// reaches into the table.
SignatureLookup LookUpSignature(PackageFile& file);

// Where a package that stands before this table ends: from the table's start
// back over at most seven zero bytes of alignment, the first end at which a
// trailer record lies. Nothing when no such end exists or it cannot be read.
std::optional<std::uint64_t> PackageEndBefore(PackageFile& file, const CertificateTable& table);

}  // namespace package
