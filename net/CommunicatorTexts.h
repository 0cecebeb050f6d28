#pragma once

// Every text that the server client leaves for its callers, in one place. They are printf formats: the
// callers' own Korean prefixes come before them, and support staff recognise the line numbers.

namespace CommunicatorText {

inline constexpr char kVersionInvalidStatus[] = "Version check failed. Invalid status. (Status: %d)";
inline constexpr char kVersionDataError[] = "Version check failed. Data error. (Line: %d)";
inline constexpr char kLoginFailed[] = "Login failed. (%s) (Line: %d)";
inline constexpr char kLoginNoCodepage[] = "Login failed. (No converter for the Korean code page 949 (%s) on this system.)";
inline constexpr char kLoginInvalidResultCode[] = "Invalid result code. (Code: %d, Line: %d) \r\n%s";
inline constexpr char kPermissionDataError[] = "Permission check failed. Data error. (Line: %d)";
inline constexpr char kSchoolSearchFailed[] = "Search failed. (%s) (Line: %d) \r\nError: %s";
inline constexpr char kQuestionSearchFailed[] = "Error: Search failed. (%s) (Line: %d)";
inline constexpr char kQuestionDeleteFailed[] = "Error: Delete failed. (%s) (Line: %d)";
inline constexpr char kQuestionResponseNotOk[] = "Error: Response is not OK. (%s) (Line: %d)";
inline constexpr char kQuestionReceiveFailed[] = "Error: Receive failed. (%s) (Line: %d)";
inline constexpr char kDocumentUnreadable[] = "Error: Document file cannot be read. (%s)";
inline constexpr char kQuestionInvalidResultCode[] = "Error: Invalid result code. (Code: %d, Line: %d) \r\n%s";

// Details of the school search's own reply checks.
inline constexpr char kNoDataSearch[] = "No dataSearch field.";
inline constexpr char kDataSearchNotObject[] = "dataSearch field is not object.";
inline constexpr char kNoContent[] = "No dataSearch/content field.";
inline constexpr char kContentNotArray[] = "dataSearch/content field is not array.";
inline constexpr char kUnknownException[] = "Unknown exception";

// The description of a failure when the client could not be set up for the configured server address.
inline constexpr char kNoClient[] = "The server address is not usable.";

inline constexpr int kVersionLine = 129;
inline constexpr int kLoginReceiveLine = 177;
inline constexpr int kLoginResultLine = 183;
inline constexpr int kPermissionLine = 229;
inline constexpr int kSchoolSearchLine = 347;

} // namespace CommunicatorText
