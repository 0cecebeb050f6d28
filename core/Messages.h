#pragma once

// Every text that the program's windows and workflows show, in one place. The category labels that prefix
// the workflow messages are in the category table (Vocabulary.h); the server client's own English texts,
// which follow them, are in net/CommunicatorTexts.h.

namespace Msg {

// Message box captions.
inline constexpr char16_t kCaptionError[] = u"Error";
inline constexpr char16_t kCaptionWarning[] = u"Warning";
inline constexpr char16_t kCaptionConfirm[] = u"Confirm";
inline constexpr char16_t kCaptionInformation[] = u"Information";

// Start-up.
inline constexpr char16_t kAlreadyRunning[] = u"Error: Already running.";
inline constexpr char16_t kMutexCreateFailed[] = u"Error: Mutex create failed. (%1)";
inline constexpr char16_t kEditorAllocationFailed[] = u"HWP Init failed. #Memory %1"; // %1: the slot's tab label
inline constexpr char16_t kEditorMissing[] = u"한글2010 이상을 설치해주세요.";
inline constexpr char16_t kCommunicatorInstanceFailed[] = u"Communicator instance failed.";
inline constexpr char16_t kCommunicatorVersionFailed[] = u"Communicator version failed.";
inline constexpr char16_t kUpdateAvailable[] = u"새로운 업데이트가 있습니다. %1 에서 다운로드 받으세요.";

// The main window.
inline constexpr char16_t kMainWindowTitle[] = u"문제관리 시스템";
inline constexpr char16_t kSearchButton[] = u"불러오기";
inline constexpr char16_t kSaveButton[] = u"저장하기";
inline constexpr char16_t kDeleteButton[] = u"삭제하기";
inline constexpr char16_t kResetButton[] = u"화면초기화";
inline constexpr char16_t kHotKeyOffCheck[] = u"단축키 비활성화";
inline constexpr char16_t kSearchQuestionItem[] = u"&Search Question...";
inline constexpr char16_t kAboutItem[] = u"&About Vellorin...";
inline constexpr char16_t kAboutTitle[] = u"About Vellorin";
inline constexpr char16_t kAboutText[] = u"Vellorin, Version 1.0";
inline constexpr char16_t kSaveAlreadyRunning[] = u"저장 프로세스가 이미 실행되고 있습니다.";
// The system would not start the save's thread (out of threads or memory); nothing was saved.
inline constexpr char16_t kSaveNotStarted[] = u"저장 프로세스를 시작하지 못했습니다. 잠시 후 다시 저장해 주십시오.";
// Before a reset, a load or the window's close throws away what was written since the last save or load.
inline constexpr char16_t kDiscardUnsaved[] =
    u"저장하지 않은 내용이 있습니다. 계속하면 작성 중인 내용이 사라집니다. 계속하시겠습니까?";
// After the login, when the last run ended with work that was not saved.
inline constexpr char16_t kRecoverQuestion[] = u"저장하지 않은 작업을 복구하시겠습니까?";
// %1: the file, %2: why it cannot be read; %3: where it has been put aside.
inline constexpr char16_t kRecoveryUnreadable[] =
    u"저장하지 않은 작업의 복구 파일을 읽을 수 없습니다.\r\n%1\r\n%2\r\n파일은 %3(으)로 옮겨 두었습니다.";
// %1: the slot's tab label, %2: the editor's reason.
inline constexpr char16_t kRecoveredDocumentNotOpened[] = u"복구한 %1 문서를 열 수 없습니다.\r\n%2";
// What the window says once a save or a load has ended. %1: the time, %2: the category's label, %3: the
// question's identifying fields.
inline constexpr char16_t kLastSaved[] = u"%1 저장함: %2 %3";
inline constexpr char16_t kLastLoaded[] = u"%1 불러옴: %2 %3";
// In the same place, while the copy of unsaved work cannot be written. %1: the system's reason.
inline constexpr char16_t kRecoveryNotWritten[] = u"작성 중인 내용의 복구용 사본을 저장하지 못했습니다: %1";
inline constexpr char16_t kNameLastAction[] = u"마지막 저장 또는 불러오기";

// Names that screen readers announce for controls that show no text of their own and have no label beside
// them: the option panels' lists, the document tabs, the school search's field and list.
inline constexpr char16_t kNameDocumentTabs[] = u"문서 선택";
inline constexpr char16_t kNameSchool[] = u"학교";
inline constexpr char16_t kNameSchoolSearchText[] = u"학교 이름";
inline constexpr char16_t kNameSchoolResults[] = u"검색된 학교";
inline constexpr char16_t kNameUnitTree[] = u"단원";
inline constexpr char16_t kNameQuestionSource[] = u"출제 구분";
inline constexpr char16_t kNameAnswerFormat[] = u"문항 형식";
inline constexpr char16_t kNameYear[] = u"연도";
inline constexpr char16_t kNameMonth[] = u"시행 월";
inline constexpr char16_t kNameTerm[] = u"학기";
inline constexpr char16_t kNameGrade[] = u"학년";
inline constexpr char16_t kNameTrack[] = u"계열";
inline constexpr char16_t kNameNumber[] = u"문항 번호";
inline constexpr char16_t kNameScore[] = u"배점";
inline constexpr char16_t kNameDifficulty[] = u"문제 수준";
inline constexpr char16_t kNameSubject[] = u"과목";
inline constexpr char16_t kNameTopic[] = u"주제";
inline constexpr char16_t kNameLevel[] = u"단계";
inline constexpr char16_t kNameVolume[] = u"권";
inline constexpr char16_t kNameDay[] = u"요일";

// The login dialog.
inline constexpr char16_t kLoginId[] = u"아이디";
inline constexpr char16_t kLoginPassword[] = u"비밀번호";
inline constexpr char16_t kLoginButton[] = u"로그인";
inline constexpr char16_t kLoginTitle[] = u"Vellorin 로그인";
inline constexpr char16_t kCancelButton[] = u"취소";
inline constexpr char16_t kSessionFailed[] = u"서버통신 실패 (네트워크 연결을 확인해주세요)";
inline constexpr char16_t kLoginFailed[] = u"로그인 실패 (아이디와 비밀번호를 확인해주세요)";

// The save: the progress dialog's title (not drawn, but what window lists show), and the progress stages, in
// the order they are shown.
inline constexpr char16_t kProgressTitle[] = u"Vellorin 진행 상황";
inline constexpr char16_t kStageDuplicateCheck[] = u"중복 문제 검사중...";
inline constexpr char16_t kStageRender[] = u"이미지 변환 중...";
inline constexpr char16_t kStageSaveDocuments[] = u"HML 변환 중...";
inline constexpr char16_t kStageTrim[] = u"이미지 편집 중...";
inline constexpr char16_t kStageConvert[] = u"변환 중...";
inline constexpr char16_t kStageUpload[] = u"문제 업로드 중... (시간이 조금 걸릴 수 있습니다.)";
inline constexpr char16_t kStageDone[] = u"문제 등록 완료.";

// The save: questions and failures. The category failures start with the category's message label and end
// with a blank and a line break, after which the server client's last error text follows.
inline constexpr char16_t kOverwriteQuestion[] = u"이미 등록된 문제 입니다. 덮어쓰시겠습니까?";
// The page images show a document's first page only. %1: the documents' tab labels, joined by ", ".
inline constexpr char16_t kPastFirstPage[] = u"%1 내용이 첫 쪽을 넘습니다. 첫 쪽만 등록됩니다.";
inline constexpr char16_t kPastFirstPageQuestion[] = u" 저장하시겠습니까?";
inline constexpr char16_t kQuestionEmpty[] = u"문제 내용이 없습니다.";
inline constexpr char16_t kDuplicateCheckFailed[] = u"%1 중복문제 검색에 실패했습니다. \r\n";
inline constexpr char16_t kInsertFailed[] = u"%1 문제 등록에 실패했습니다. \r\n";
inline constexpr char16_t kFileUnreadable[] = u"%1 파일을 읽을 수 없습니다. 저장하지 않았습니다.\r\n%2";
inline constexpr char16_t kFileNotRemovable[] = u"이전 작업 파일을 지울 수 없습니다. 저장하지 않았습니다.\r\n%1";
// %1: the working folder, %2: the system's reason.
inline constexpr char16_t kWorkingFolderUnusable[] = u"작업 폴더를 쓸 수 없어 저장하지 않았습니다.\r\n%1\r\n%2";
// %1: one line per page image that could not be made: its tab label, file and the reason.
inline constexpr char16_t kPageImageNotWritten[] = u"문서의 쪽 이미지를 만들 수 없어 저장하지 않았습니다.\r\n%1";
// One line of kPageImageNotWritten. %1: the slot's tab label, %2: the file, %3: the editor's reason.
inline constexpr char16_t kPageImageLine[] = u"%1: %2 (%3)";

// Search and load, and delete. The category failures are built as the save's are.
inline constexpr char16_t kSearchFailed[] = u"%1 문제 검색에 실패했습니다. \r\n";
inline constexpr char16_t kNoQuestionFound[] = u"검색된 문제가 없습니다.";
// %1: the downloaded file's path, %2: the system's reason.
inline constexpr char16_t kDownloadNotWritten[] = u"%1 파일을 쓸 수 없어 불러오기를 멈췄습니다.\r\n%2";
// %1: the slot's tab label, %2: the editor's reason.
inline constexpr char16_t kDocumentNotOpened[] =
    u"%1 문서를 열 수 없습니다. 이 화면을 저장하면 저장된 %1 문서가 지워집니다.\r\n%2";
// %1: the slot's tab label, %2: the objects the editor left out by kind, "그리기 개체 3개, 그림 1개".
inline constexpr char16_t kDocumentObjectsDropped[] =
    u"%1 문서에 이 편집기가 보여 줄 수 없는 개체(%2)가 있어 빼고 열었습니다. 이 화면을 저장하면 "
    u"저장된 %1 문서에서도 빠집니다.";
inline constexpr char16_t kDeleteQuestion[] = u"정말로 삭제하시겠습니까?";
inline constexpr char16_t kDeleted[] = u"정상적으로 삭제되었습니다.";
inline constexpr char16_t kDeleteFailed[] = u"%1 문제 삭제에 실패했습니다. \r\n";

} // namespace Msg
