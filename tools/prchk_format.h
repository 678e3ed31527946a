// The work behind the prchk tool, for the tool itself, the checker-server
// simulator and the tests: turning a shop's CSV price list into a PRCHK.DAT
// the price checker can search, turning a PRCHK.DAT back into CSV, and
// checking a PRCHK.DAT from any source before it goes onto a checker.
//
// The CSV is UTF-8 text (a BOM is allowed) whose first line is the header
//     code,name,price,gross2,net1,net2,unit
// Prices are in currency units with a decimal point ("12.99") and are stored
// multiplied by 10 000. Names and units are stored in the Mazovia code page.
//
// Helpers the parts share among themselves live in namespace prchk, so their
// plain names (fieldLength, compareCodes) meet no others.
#pragma once

#include "tools/prchk_csv.h"         // CSV rows and fields
#include "tools/prchk_files.h"       // reading and replacing files; build and dump
#include "tools/prchk_messages.h"    // errors and warnings for the user
#include "tools/prchk_price_text.h"  // prices between text and 1/10000 units
#include "tools/prchk_records.h"     // CSV rows into records and back
#include "tools/prchk_text.h"        // UTF-8 and the Mazovia page
#include "tools/prchk_verify.h"      // checking a price file
