#pragma once
// Default texts of the data-aware library's dialogs, navigator, grids and editors, one list
// per text group: X(member, default text). The lists drive the members, their defaults and the
// copy into the global texts object, so every text is written down here once.

// TdaUserMessagesIntl
#define DA_USER_MESSAGES_TEXTS(X) \
  X(daDBGridDiscardChanges, "Discard changes to this record?") \
  X(PictureValidateError, "Invalid characters. Field : ") \
  X(LocateNoMatches, "No matches found") \
  X(LocateNoMoreMatches, "No more matches found") \
  X(MemoChangesWarning, "Changes have been made!  Are you sure you wish to cancel?") \
  X(RichEditExitWarning, "Changes have been made!  Do you wish to save your changes?") \
  X(RichEditClearWarning, "Clear entire text?") \
  X(RichEditSpellCheckComplete, "The spell check is complete.") \
  X(RichEditMSWordNotFound, "Unable to start Microsoft Word's Spell Checker.") \
  X(FilterDlgNoCriteria, "You have not selected any search criteria") \
  X(RecordViewExitWarning, "Changes have been made!  Do you wish to save your changes?")

// TdaDBNavigatorIntl
#define DA_NAVIGATOR_TEXTS(X) \
  X(ConfirmDeleteMessage, "Delete record?")

// TdaDBNavigatorIntlHints
#define DA_NAVIGATOR_HINTS_TEXTS(X) \
  X(FirstHint, "Move to first record") \
  X(PriorHint, "Move to prior record") \
  X(NextHint, "Move to next record") \
  X(LastHint, "Move to last record") \
  X(InsertHint, "Insert new record") \
  X(DeleteHint, "Delete current record") \
  X(EditHint, "Edit current record") \
  X(PostHint, "Post changes of current record") \
  X(CancelHint, "Cancel changes made to current record") \
  X(RefreshHint, "Refresh the contents of the dataset") \
  X(PriorPageHint, "Move backward %d records") \
  X(NextPageHint, "Move forward %d records") \
  X(SaveBookmarkHint, "Bookmark current record") \
  X(RestoreBookmarkHint, "Go back to saved bookmark") \
  X(RecordViewDialogHint, "View current record") \
  X(LocateDialogHint, "Locate a specific record") \
  X(FilterDialogHint, "Filter the dataset") \
  X(SearchDialogHint, "Search the dataset")

// TdaSearchDialogIntl
#define DA_SEARCH_DIALOG_TEXTS(X) \
  X(SearchCharLabel, "&Search Characters") \
  X(SearchCharShortLabel, "&Search Char") \
  X(SearchByLabel, "Search &By") \
  X(StatusRecLabel, "Rec #") \
  X(StatusOfLabel, "of") \
  X(SearchCharHint, "Enter characters for incremental search") \
  X(SearchByHint, "Incremental searching and sorting order")

// TdaLocateDialogIntl
#define DA_LOCATE_DIALOG_TEXTS(X) \
  X(FieldValueLabel, "Field &Value") \
  X(SearchTypeLabel, "&Search Type") \
  X(CaseSensitiveLabel, "&Case-sensitive") \
  X(MatchExactLabel, "&Exact Match") \
  X(MatchStartLabel, "&Partial Match at Beginning") \
  X(MatchAnyLabel, "Partial Match &Anywhere") \
  X(FieldsLabel, "&Fields") \
  X(BtnFirst, "Fi&rst") \
  X(BtnNext, "&Next") \
  X(BtnCancel, "Cancel") \
  X(BtnClose, "Close") \
  X(FieldValueHint, "Enter field's search value") \
  X(CaseSensitiveHint, "Searching is case-sensitive") \
  X(MatchExactHint, "Match occurs only if there is an exact match") \
  X(MatchStartHint, "Match occurs if the start of the field's value matches") \
  X(MatchAnyHint, "Match occurs if any part of the field matches") \
  X(BtnFirstHint, "Find first match") \
  X(BtnNextHint, "Find next match from current record") \
  X(FieldNameHint, "Select the field to search on")

// TdaMonthCalendarIntl
#define DA_MONTH_CALENDAR_TEXTS(X) \
  X(PopupYearLabel, "Edit Year") \
  X(EnterYearPrompt, "Enter Valid Year")

// TdaFilterDialogIntl
#define DA_FILTER_DIALOG_TEXTS(X) \
  X(BtnViewSummary, "View Su&mmary") \
  X(BtnViewSummaryHint, "View summary of current search criteria") \
  X(ViewSummaryNotText, "NOT") \
  X(BtnNewSearch, "&New Search") \
  X(BtnNewSearchHint, "Start a new search") \
  X(FieldOrderLabel, "Field Order") \
  X(FieldOrderHint, "Sort field list alphabetically or in their natural logical order") \
  X(AlphabeticLabel, "Alpha&betic") \
  X(LogicalLabel, "&Logical") \
  X(AllFieldsLabel, "&All") \
  X(SearchedFieldsLabel, "&Searched") \
  X(StartingRangeLabel, "&Starting Range") \
  X(EndingRangeLabel, "En&ding Range") \
  X(StartingRangeHint, "Enter starting range for field") \
  X(EndingRangeHint, "Enter ending range for field") \
  X(BtnClearMin, "&Clear") \
  X(BtnClearMax, "Cl&ear") \
  X(BtnClearFilterValue, "&Clear") \
  X(BtnClearMinHint, "Clear starting range for field") \
  X(BtnClearMaxHint, "Clear ending range for field") \
  X(BtnClearFilterValueHint, "Clear the current field's search value") \
  X(ByValueLabel, "By &Value") \
  X(ByRangeLabel, "By &Range") \
  X(FieldValueLabel, "Field &Value") \
  X(FieldValueHint, "Enter field's search value") \
  X(SearchTypeLabel, "Search Type") \
  X(SearchTypeHint, "Specify how the Field Value should be compared") \
  X(MatchExactLabel, "&Exact Match") \
  X(MatchStartLabel, "&Partial Match at Beginning") \
  X(MatchAnyLabel, "Partial Match Any&where") \
  X(CaseSensitiveLabel, "Case Sensi&tive") \
  X(CaseSensitiveHint, "Searching is case-sensitive") \
  X(NonMatchingLabel, "N&on-matching records") \
  X(NonMatchingHint, "Show records that do not match the field value criteria") \
  X(SummaryFieldLabel, "Field") \
  X(SummarySearchLabel, "Search Type") \
  X(SummaryValueLabel, "Value") \
  X(SummaryCaption, "") \
  X(FieldsLabel, "&Fields") \
  X(ValueRangeTabHint, "Search fields by value or by range") \
  X(AllSearchedTabHint, "Show all fields or only currently searched fields")

// TdaDBRichEditIntl
#define DA_RICH_EDIT_TEXTS(X) \
  X(FontNameComboHint, "Font | Changes the font of the selection") \
  X(FontSizeComboHint, "Font Size | Changes the font size of the selection") \
  X(NewButtonHint, "New | Creates a new document") \
  X(LoadButtonHint, "Load | Load from file") \
  X(SaveAsButtonHint, "Save As | Save to file") \
  X(PrintButtonHint, "Print | Prints the active document") \
  X(FindButtonHint, "Find | Finds the specified text") \
  X(CutButtonHint, "Cut | Cuts the selection and puts it on the Clipboard") \
  X(CopyButtonHint, "Copy | Copies the selection and puts it on the Clipboard") \
  X(UndoButtonHint, "Undo | Reverses the last action") \
  X(RedoButtonHint, "Redo | Reverses the last undo action") \
  X(PasteButtonHint, "Paste | Inserts Clipboard contents") \
  X(BoldButtonHint, "Bold | Makes the selection bold (toggle)") \
  X(ColorButtonHint, "Color | Formats the selection with a color") \
  X(UnderlineButtonHint, "Underline | Formats the selection with a continuous underline (toggle)") \
  X(ItalicButtonHint, "Italic | Makes the selection italic (toggle)") \
  X(LeftButtonHint, "Align Left | Left-justifies paragraph (toggle)") \
  X(CenterButtonHint, "Center | Center-justifies paragraph (toggle)") \
  X(RightButtonHint, "Align Right | Right-justifies paragraph (toggle)") \
  X(JustifyButtonHint, "Justify | Full Justification for paragraph (toggle)") \
  X(BulletButtonHint, "Bullets | Inserts a bullet on this line (toggle)") \
  X(HighlightButtonHint, "Highlight Text | Makes the selection highlighted") \
  X(SaveExitHint, "Save And Exit | Saves changes and exits editor") \
  X(PageSetupHint, "Page Setup | Changes page layout settings") \
  X(ExitHint, "Exit") \
  X(ClearHint, "Erases the Selection") \
  X(SelectAllHint, "Selects all of the text") \
  X(FindNextHint, "Repeats the last find") \
  X(ReplaceHint, "Replaces specific text with different text") \
  X(InsertObjectHint, "Inserts new embedded object") \
  X(SpellCheckHint, "Check spelling") \
  X(ToolbarHint, "Shows or hides the toolbar") \
  X(FormatBarHint, "Shows or hides the format bar") \
  X(ViewStatusBarHint, "Shows or hides the status bar") \
  X(OptionsHint, "Sets options") \
  X(FontHint, "Selects font for current selection") \
  X(ParagraphHint, "Formats current or selected paragraph(s)") \
  X(TabsHint, "Sets tabs") \
  X(CAPLockCaption, "CAP") \
  X(NUMLockCaption, "NUM")

// TdaRichEditMenuLabels
#define DA_RICH_EDIT_MENU_LABELS_TEXTS(X) \
  X(FileCaption, "&File") \
  X(LoadCaption, "&Load") \
  X(SaveAsCaption, "Save &As") \
  X(SaveExitCaption, "&Save and Exit") \
  X(PrintCaption, "&Print") \
  X(PageSetupCaption, "Page Set&up") \
  X(ExitCaption, "E&xit") \
  X(EditCaption, "&Edit") \
  X(UndoCaption, "&Undo") \
  X(CutCaption, "Cu&t") \
  X(CopyCaption, "&Copy") \
  X(PasteCaption, "&Paste") \
  X(ClearCaption, "Cle&ar") \
  X(SelectallCaption, "Select A&ll") \
  X(FindCaption, "&Find") \
  X(FindNextCaption, "Find &Next") \
  X(ReplaceCaption, "R&eplace") \
  X(InsertObjectCaption, "&Object...") \
  X(SpellCheckCaption, "Check &Spelling") \
  X(InsertCaption, "&Insert") \
  X(RulerCaption, "&Ruler") \
  X(RedoCaption, "") \
  X(ViewCaption, "&View") \
  X(ToolbarCaption, "&Toolbar") \
  X(FormatBarCaption, "&Format Bar") \
  X(ViewStatusBarCaption, "&Status Bar") \
  X(OptionsCaption, "&Options") \
  X(FormatCaption, "F&ormat") \
  X(ToolCaption, "&Tools") \
  X(FontCaption, "&Font") \
  X(BulletStyleCaption, "&Bullet Style") \
  X(ParagraphCaption, "&Paragraph") \
  X(TabsCaption, "&Tabs") \
  X(HelpCaption, "Help")

// TdaRichEditPopupMenuLabels
#define DA_RICH_EDIT_POPUP_MENU_LABELS_TEXTS(X) \
  X(EditCaption, "&Edit") \
  X(ViewCaption, "&View") \
  X(CutCaption, "Cu&t") \
  X(CopyCaption, "&Copy") \
  X(PasteCaption, "&Paste") \
  X(FontCaption, "&Font") \
  X(BulletStyleCaption, "&Bullet Style") \
  X(BoldCaption, "B&old") \
  X(ItalicCaption, "&Italic") \
  X(UnderlineCaption, "&Underline") \
  X(ParagraphCaption, "P&aragraph") \
  X(TabsCaption, "&Tabs") \
  X(FindCaption, "Fin&d") \
  X(ReplaceCaption, "&Replace") \
  X(InsertObjectCaption, "Insert &Object...") \
  X(SpellCheckCaption, "Check &Spelling") \
  X(ObjectPropertiesCaption, "Object P&roperties")

// TdaRichEditParagraphDlg
#define DA_RICH_EDIT_PARAGRAPH_DIALOG_TEXTS(X) \
  X(ParagraphDlgCaption, "Paragraph") \
  X(IndentationGroupBoxCaption, "Indentation") \
  X(LeftEditCaption, "Left:") \
  X(RightEditCaption, "Right:") \
  X(FirstLineEditCaption, "First line:") \
  X(AlignmentCaption, "Alignment") \
  X(LeftEditHint, "Left Indentation") \
  X(RightEditHint, "Right Indentation") \
  X(FirstLineEditHint, "First Line of Paragraph Indentation") \
  X(SpacingGroupCaption, "Spacing") \
  X(BeforeParagraphCaption, "&Before") \
  X(AfterParagraphCaption, "Aft&er") \
  X(WithinParagraphCaption, "Li&ne Spacing") \
  X(WithinParagraphAtCaption, "&At") \
  X(AlignmentHint, "Changes Alignment of Paragraph") \
  X(AlignLeft, "Left") \
  X(AlignRight, "Right") \
  X(AlignCenter, "Center") \
  X(AlignJustify, "Justify") \
  X(SpacingSingle, "") \
  X(Spacing1_5, "") \
  X(SpacingDouble, "") \
  X(SpacingAtLeast, "") \
  X(SpacingExactly, "") \
  X(SpacingMultiple, "")

// TdaRichEditTabDlg
#define DA_RICH_EDIT_TAB_DIALOG_TEXTS(X) \
  X(TabDlgCaption, "Tab") \
  X(TabGroupBoxCaption, "&Tab Stop Position") \
  X(SetTabButtonCaption, "Set") \
  X(ClearTabButtonCaption, "Clear") \
  X(ClearAllButtonCaption, "Clear All") \
  X(TabPositionEditHint, "Tab Position Edit Box") \
  X(ListBoxHint, "List of tabs and their positions") \
  X(SetButtonHint, "Set a new tab position") \
  X(ClearButtonHint, "Clear the selected tab position") \
  X(ClearAllButtonHint, "Clear all the tabs")

// TdaIntl's own captions.
#define DA_INTL_TEXTS(X) \
  X(BtnOKCaption, "&OK") \
  X(BtnCancelCaption, "Cancel")

// Message of an input value that does not fit its picture mask (two blanks after the period).
#define DA_INVALID_INPUT_VALUE_TEXT "Invalid input value.  Use escape key to abandon changes"
