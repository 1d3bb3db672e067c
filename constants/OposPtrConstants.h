// The POS printer's OPOS constants: stations, status-update values, error levels and the
// printer property indices.
#pragma once

#include "constants/OposConstants.h"

namespace QVO::Opos {

// Stations.
constexpr int32_t PTR_S_JOURNAL = 1;
constexpr int32_t PTR_S_RECEIPT = 2;
constexpr int32_t PTR_S_SLIP = 4;

// Status-update values.
constexpr int32_t PTR_SUE_COVER_OPEN = 11;
constexpr int32_t PTR_SUE_COVER_OK = 12;
constexpr int32_t PTR_SUE_JRN_EMPTY = 21;
constexpr int32_t PTR_SUE_JRN_NEAREMPTY = 22;
constexpr int32_t PTR_SUE_JRN_PAPEROK = 23;
constexpr int32_t PTR_SUE_REC_EMPTY = 24;
constexpr int32_t PTR_SUE_REC_NEAREMPTY = 25;
constexpr int32_t PTR_SUE_REC_PAPEROK = 26;
constexpr int32_t PTR_SUE_SLP_EMPTY = 27;
constexpr int32_t PTR_SUE_SLP_NEAREMPTY = 28;
constexpr int32_t PTR_SUE_SLP_PAPEROK = 29;
constexpr int32_t PTR_SUE_REC_COVER_OPEN = 62;
constexpr int32_t PTR_SUE_REC_COVER_OK = 63;
constexpr int32_t PTR_SUE_IDLE = 1001;

// Error levels.
constexpr int32_t PTR_EL_NONE = 1;
constexpr int32_t PTR_EL_RECOVERABLE = 2;
constexpr int32_t PTR_EL_FATAL = 3;

// ResultCodeExtended after OPOS_E_EXTENDED.
constexpr int32_t OPOS_EPTR_COVER_OPEN = 201;
constexpr int32_t OPOS_EPTR_JRN_EMPTY = 202;
constexpr int32_t OPOS_EPTR_REC_EMPTY = 203;
constexpr int32_t OPOS_EPTR_SLP_EMPTY = 204;
constexpr int32_t OPOS_EPTR_SLP_FORM = 205;
constexpr int32_t OPOS_EPTR_TOOBIG = 206;
constexpr int32_t OPOS_EPTR_BADFORMAT = 207;

// Logo locations, rotations, transaction and page-mode controls.
constexpr int32_t PTR_L_TOP = 1;
constexpr int32_t PTR_L_BOTTOM = 2;
constexpr int32_t PTR_RP_NORMAL = 0x0001;
constexpr int32_t PTR_RP_RIGHT90 = 0x0101;
constexpr int32_t PTR_RP_LEFT90 = 0x0102;
constexpr int32_t PTR_RP_ROTATE180 = 0x0103;

// Character-set capability, cartridge states and colours.
constexpr int32_t PTR_CCS_ASCII = 998;
constexpr int32_t PTR_CART_UNKNOWN = 0x10000000;
constexpr int32_t PTR_CART_OK = 0x00000000;
constexpr int32_t PTR_COLOR_PRIMARY = 0x00000001;
constexpr int32_t PTR_TP_TRANSACTION = 11;
constexpr int32_t PTR_TP_NORMAL = 12;
constexpr int32_t PTR_PM_PAGE_MODE = 1;
constexpr int32_t PTR_PM_PRINT_SAVE = 2;
constexpr int32_t PTR_PM_NORMAL = 3;
constexpr int32_t PTR_PM_CANCEL = 4;

// Map modes.
constexpr int32_t PTR_MM_DOTS = 1;
constexpr int32_t PTR_MM_TWIPS = 2;
constexpr int32_t PTR_MM_ENGLISH = 3;
constexpr int32_t PTR_MM_METRIC = 4;

// Character sets (CharacterSet property) that are not plain code page numbers.
constexpr int32_t PTR_CS_UNICODE = 997;
constexpr int32_t PTR_CS_ASCII = 998;
constexpr int32_t PTR_CS_ANSI = 999;

// Barcode symbologies.
constexpr int32_t PTR_BCS_UPCA = 101;
constexpr int32_t PTR_BCS_UPCE = 102;
constexpr int32_t PTR_BCS_JAN8 = 103;
constexpr int32_t PTR_BCS_EAN8 = 103;
constexpr int32_t PTR_BCS_JAN13 = 104;
constexpr int32_t PTR_BCS_EAN13 = 104;
constexpr int32_t PTR_BCS_TF = 105;
constexpr int32_t PTR_BCS_ITF = 106;
constexpr int32_t PTR_BCS_Codabar = 107;
constexpr int32_t PTR_BCS_Code39 = 108;
constexpr int32_t PTR_BCS_Code93 = 109;
constexpr int32_t PTR_BCS_Code128 = 110;
constexpr int32_t PTR_BCS_EAN128 = 120;
constexpr int32_t PTR_BCS_Code128_Parsed = 123;
constexpr int32_t PTR_BCS_RSS14 = 131;
constexpr int32_t PTR_BCS_RSS_EXPANDED = 132;
constexpr int32_t PTR_BCS_PDF417 = 201;
constexpr int32_t PTR_BCS_QRCODE = 204;

// Bitmap and barcode alignments, and where a barcode's human-readable text goes.
constexpr int32_t PTR_BM_LEFT = -1;
constexpr int32_t PTR_BM_CENTER = -2;
constexpr int32_t PTR_BM_RIGHT = -3;
constexpr int32_t PTR_BC_LEFT = -1;
constexpr int32_t PTR_BC_CENTER = -2;
constexpr int32_t PTR_BC_RIGHT = -3;
constexpr int32_t PTR_BC_TEXT_NONE = -11;
constexpr int32_t PTR_BC_TEXT_ABOVE = -12;
constexpr int32_t PTR_BC_TEXT_BELOW = -13;

// Property indices: numbers from 8001, capabilities from 8501, strings from 1008001.
constexpr int32_t PIDX_PTR = 8000;

constexpr int32_t PIDXPtr_AsyncMode = 1 + PIDX_PTR;
constexpr int32_t PIDXPtr_CharacterSet = 2 + PIDX_PTR;
constexpr int32_t PIDXPtr_CoverOpen = 3 + PIDX_PTR;
constexpr int32_t PIDXPtr_ErrorStation = 4 + PIDX_PTR;
constexpr int32_t PIDXPtr_FlagWhenIdle = 5 + PIDX_PTR;
constexpr int32_t PIDXPtr_JrnEmpty = 6 + PIDX_PTR;
constexpr int32_t PIDXPtr_JrnLetterQuality = 7 + PIDX_PTR;
constexpr int32_t PIDXPtr_JrnLineChars = 8 + PIDX_PTR;
constexpr int32_t PIDXPtr_JrnLineHeight = 9 + PIDX_PTR;
constexpr int32_t PIDXPtr_JrnLineSpacing = 10 + PIDX_PTR;
constexpr int32_t PIDXPtr_JrnLineWidth = 11 + PIDX_PTR;
constexpr int32_t PIDXPtr_JrnNearEnd = 12 + PIDX_PTR;
constexpr int32_t PIDXPtr_MapMode = 13 + PIDX_PTR;
constexpr int32_t PIDXPtr_RecEmpty = 14 + PIDX_PTR;
constexpr int32_t PIDXPtr_RecLetterQuality = 15 + PIDX_PTR;
constexpr int32_t PIDXPtr_RecLineChars = 16 + PIDX_PTR;
constexpr int32_t PIDXPtr_RecLineHeight = 17 + PIDX_PTR;
constexpr int32_t PIDXPtr_RecLineSpacing = 18 + PIDX_PTR;
constexpr int32_t PIDXPtr_RecLinesToPaperCut = 19 + PIDX_PTR;
constexpr int32_t PIDXPtr_RecLineWidth = 20 + PIDX_PTR;
constexpr int32_t PIDXPtr_RecNearEnd = 21 + PIDX_PTR;
constexpr int32_t PIDXPtr_RecSidewaysMaxChars = 22 + PIDX_PTR;
constexpr int32_t PIDXPtr_RecSidewaysMaxLines = 23 + PIDX_PTR;
constexpr int32_t PIDXPtr_SlpEmpty = 24 + PIDX_PTR;
constexpr int32_t PIDXPtr_SlpLetterQuality = 25 + PIDX_PTR;
constexpr int32_t PIDXPtr_SlpLineChars = 26 + PIDX_PTR;
constexpr int32_t PIDXPtr_SlpLineHeight = 27 + PIDX_PTR;
constexpr int32_t PIDXPtr_SlpLinesNearEndToEnd = 28 + PIDX_PTR;
constexpr int32_t PIDXPtr_SlpLineSpacing = 29 + PIDX_PTR;
constexpr int32_t PIDXPtr_SlpLineWidth = 30 + PIDX_PTR;
constexpr int32_t PIDXPtr_SlpMaxLines = 31 + PIDX_PTR;
constexpr int32_t PIDXPtr_SlpNearEnd = 32 + PIDX_PTR;
constexpr int32_t PIDXPtr_SlpSidewaysMaxChars = 33 + PIDX_PTR;
constexpr int32_t PIDXPtr_SlpSidewaysMaxLines = 34 + PIDX_PTR;
constexpr int32_t PIDXPtr_ErrorLevel = 35 + PIDX_PTR;
constexpr int32_t PIDXPtr_RotateSpecial = 36 + PIDX_PTR;
constexpr int32_t PIDXPtr_CartridgeNotify = 37 + PIDX_PTR;
constexpr int32_t PIDXPtr_JrnCartridgeState = 38 + PIDX_PTR;
constexpr int32_t PIDXPtr_JrnCurrentCartridge = 39 + PIDX_PTR;
constexpr int32_t PIDXPtr_RecCartridgeState = 40 + PIDX_PTR;
constexpr int32_t PIDXPtr_RecCurrentCartridge = 41 + PIDX_PTR;
constexpr int32_t PIDXPtr_SlpCartridgeState = 42 + PIDX_PTR;
constexpr int32_t PIDXPtr_SlpCurrentCartridge = 43 + PIDX_PTR;
constexpr int32_t PIDXPtr_SlpPrintSide = 44 + PIDX_PTR;
constexpr int32_t PIDXPtr_MapCharacterSet = 45 + PIDX_PTR;
constexpr int32_t PIDXPtr_PageModeDescriptor = 46 + PIDX_PTR;
constexpr int32_t PIDXPtr_PageModeHorizontalPosition = 47 + PIDX_PTR;
constexpr int32_t PIDXPtr_PageModePrintDirection = 48 + PIDX_PTR;
constexpr int32_t PIDXPtr_PageModeStation = 49 + PIDX_PTR;
constexpr int32_t PIDXPtr_PageModeVerticalPosition = 50 + PIDX_PTR;

constexpr int32_t PIDXPtr_CapConcurrentJrnRec = 501 + PIDX_PTR;
constexpr int32_t PIDXPtr_CapConcurrentJrnSlp = 502 + PIDX_PTR;
constexpr int32_t PIDXPtr_CapConcurrentRecSlp = 503 + PIDX_PTR;
constexpr int32_t PIDXPtr_CapCoverSensor = 504 + PIDX_PTR;
constexpr int32_t PIDXPtr_CapJrn2Color = 505 + PIDX_PTR;
constexpr int32_t PIDXPtr_CapJrnBold = 506 + PIDX_PTR;
constexpr int32_t PIDXPtr_CapJrnDhigh = 507 + PIDX_PTR;
constexpr int32_t PIDXPtr_CapJrnDwide = 508 + PIDX_PTR;
constexpr int32_t PIDXPtr_CapJrnDwideDhigh = 509 + PIDX_PTR;
constexpr int32_t PIDXPtr_CapJrnEmptySensor = 510 + PIDX_PTR;
constexpr int32_t PIDXPtr_CapJrnItalic = 511 + PIDX_PTR;
constexpr int32_t PIDXPtr_CapJrnNearEndSensor = 512 + PIDX_PTR;
constexpr int32_t PIDXPtr_CapJrnPresent = 513 + PIDX_PTR;
constexpr int32_t PIDXPtr_CapJrnUnderline = 514 + PIDX_PTR;
constexpr int32_t PIDXPtr_CapRec2Color = 515 + PIDX_PTR;
constexpr int32_t PIDXPtr_CapRecBarCode = 516 + PIDX_PTR;
constexpr int32_t PIDXPtr_CapRecBitmap = 517 + PIDX_PTR;
constexpr int32_t PIDXPtr_CapRecBold = 518 + PIDX_PTR;
constexpr int32_t PIDXPtr_CapRecDhigh = 519 + PIDX_PTR;
constexpr int32_t PIDXPtr_CapRecDwide = 520 + PIDX_PTR;
constexpr int32_t PIDXPtr_CapRecDwideDhigh = 521 + PIDX_PTR;
constexpr int32_t PIDXPtr_CapRecEmptySensor = 522 + PIDX_PTR;
constexpr int32_t PIDXPtr_CapRecItalic = 523 + PIDX_PTR;
constexpr int32_t PIDXPtr_CapRecLeft90 = 524 + PIDX_PTR;
constexpr int32_t PIDXPtr_CapRecNearEndSensor = 525 + PIDX_PTR;
constexpr int32_t PIDXPtr_CapRecPapercut = 526 + PIDX_PTR;
constexpr int32_t PIDXPtr_CapRecPresent = 527 + PIDX_PTR;
constexpr int32_t PIDXPtr_CapRecRight90 = 528 + PIDX_PTR;
constexpr int32_t PIDXPtr_CapRecRotate180 = 529 + PIDX_PTR;
constexpr int32_t PIDXPtr_CapRecStamp = 530 + PIDX_PTR;
constexpr int32_t PIDXPtr_CapRecUnderline = 531 + PIDX_PTR;
constexpr int32_t PIDXPtr_CapSlp2Color = 532 + PIDX_PTR;
constexpr int32_t PIDXPtr_CapSlpBarCode = 533 + PIDX_PTR;
constexpr int32_t PIDXPtr_CapSlpBitmap = 534 + PIDX_PTR;
constexpr int32_t PIDXPtr_CapSlpBold = 535 + PIDX_PTR;
constexpr int32_t PIDXPtr_CapSlpDhigh = 536 + PIDX_PTR;
constexpr int32_t PIDXPtr_CapSlpDwide = 537 + PIDX_PTR;
constexpr int32_t PIDXPtr_CapSlpDwideDhigh = 538 + PIDX_PTR;
constexpr int32_t PIDXPtr_CapSlpEmptySensor = 539 + PIDX_PTR;
constexpr int32_t PIDXPtr_CapSlpFullslip = 540 + PIDX_PTR;
constexpr int32_t PIDXPtr_CapSlpItalic = 541 + PIDX_PTR;
constexpr int32_t PIDXPtr_CapSlpLeft90 = 542 + PIDX_PTR;
constexpr int32_t PIDXPtr_CapSlpNearEndSensor = 543 + PIDX_PTR;
constexpr int32_t PIDXPtr_CapSlpPresent = 544 + PIDX_PTR;
constexpr int32_t PIDXPtr_CapSlpRight90 = 545 + PIDX_PTR;
constexpr int32_t PIDXPtr_CapSlpRotate180 = 546 + PIDX_PTR;
constexpr int32_t PIDXPtr_CapSlpUnderline = 547 + PIDX_PTR;
constexpr int32_t PIDXPtr_CapCharacterSet = 548 + PIDX_PTR;
constexpr int32_t PIDXPtr_CapTransaction = 549 + PIDX_PTR;
constexpr int32_t PIDXPtr_CapJrnCartridgeSensor = 550 + PIDX_PTR;
constexpr int32_t PIDXPtr_CapJrnColor = 551 + PIDX_PTR;
constexpr int32_t PIDXPtr_CapRecCartridgeSensor = 552 + PIDX_PTR;
constexpr int32_t PIDXPtr_CapRecColor = 553 + PIDX_PTR;
constexpr int32_t PIDXPtr_CapRecMarkFeed = 554 + PIDX_PTR;
constexpr int32_t PIDXPtr_CapSlpBothSidesPrint = 555 + PIDX_PTR;
constexpr int32_t PIDXPtr_CapSlpCartridgeSensor = 556 + PIDX_PTR;
constexpr int32_t PIDXPtr_CapSlpColor = 557 + PIDX_PTR;
constexpr int32_t PIDXPtr_CapMapCharacterSet = 558 + PIDX_PTR;
constexpr int32_t PIDXPtr_CapConcurrentPageMode = 559 + PIDX_PTR;
constexpr int32_t PIDXPtr_CapRecPageMode = 560 + PIDX_PTR;
constexpr int32_t PIDXPtr_CapSlpPageMode = 561 + PIDX_PTR;
constexpr int32_t PIDXPtr_CapRecRuledLine = 562 + PIDX_PTR;
constexpr int32_t PIDXPtr_CapSlpRuledLine = 563 + PIDX_PTR;

constexpr int32_t PIDXPtr_CharacterSetList = 1 + PIDX_PTR + PIDX_STRING;
constexpr int32_t PIDXPtr_JrnLineCharsList = 2 + PIDX_PTR + PIDX_STRING;
constexpr int32_t PIDXPtr_RecLineCharsList = 3 + PIDX_PTR + PIDX_STRING;
constexpr int32_t PIDXPtr_SlpLineCharsList = 4 + PIDX_PTR + PIDX_STRING;
constexpr int32_t PIDXPtr_ErrorString = 5 + PIDX_PTR + PIDX_STRING;
constexpr int32_t PIDXPtr_FontTypefaceList = 6 + PIDX_PTR + PIDX_STRING;
constexpr int32_t PIDXPtr_RecBarCodeRotationList = 7 + PIDX_PTR + PIDX_STRING;
constexpr int32_t PIDXPtr_SlpBarCodeRotationList = 8 + PIDX_PTR + PIDX_STRING;
constexpr int32_t PIDXPtr_RecBitmapRotationList = 9 + PIDX_PTR + PIDX_STRING;
constexpr int32_t PIDXPtr_SlpBitmapRotationList = 10 + PIDX_PTR + PIDX_STRING;
constexpr int32_t PIDXPtr_PageModeArea = 11 + PIDX_PTR + PIDX_STRING;
constexpr int32_t PIDXPtr_PageModePrintArea = 12 + PIDX_PTR + PIDX_STRING;

}  // namespace QVO::Opos
