// The work behind the prchk tool, for the tool itself, the checker server
// and the tests: turning a shop's CSV price list into a PRCHK.DAT
// the price checker can search, turning a PRCHK.DAT back into CSV, and
// checking a PRCHK.DAT from any source before it goes onto a checker.
//
// The CSV is what a back-office program writes (UTF-8, ",", "12.99") or what
// a spreadsheet saves as a shop types it (Windows-1250, UTF-8 or UTF-16;
// ";", "," or tabs; "1 299,00" or "6,49 zł"); a header row among its first
// rows names the columns in the shop's own words, as
//     code,name,price,gross2,net1,net2,unit   or   Kod kreskowy;Nazwa towaru;Cena brutto
// Prices are in currency units and are stored multiplied by 10 000. Names
// and units are stored in the Mazovia code page. Messages are Polish.
//
// Helpers the parts share among themselves live in namespace prchk, so their
// plain names (formatText) meet no others.
#pragma once

#include "pricelist/columns.h"      // the price list's columns, named by its header
#include "pricelist/csv.h"          // CSV rows and fields
#include "pricelist/encodings.h"    // UTF-8, Windows-1250, UTF-16 and the Mazovia page
#include "pricelist/file_calls.h"   // files by UTF-8 names
#include "pricelist/files.h"        // reading and replacing files; build and dump
#include "pricelist/messages.h"     // errors and warnings for the user
#include "pricelist/price_list.h"   // a CSV price list's bytes into records
#include "pricelist/price_text.h"   // prices between text and 1/10000 units
#include "pricelist/records.h"      // records, and records written as CSV
#include "pricelist/text_source.h"  // a price list read a piece at a time
#include "pricelist/verify.h"       // checking a price file
