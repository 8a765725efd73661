/*
 * UDF_Marklet: the barcode function of the Tamber database.
 *
 * Copy UDF_Marklet.dll (UDF_Marklet.so on Linux) into the server's UDF
 * folder, then run this script against the database.
 */

/*****************************************
 *
 *	u d f _ g e t _ b a r c o d e
 *
 *****************************************
 *
 * Functional description:
 *	Returns the barcode text of eighteen integer fields, given as one
 *	text separated by commas or blanks (kind, enterprise code, item id,
 *	semi-finished type, packing place type, panel number, wicket panel
 *	flag, pallet number, pallet count, packing kind, gate number,
 *	product type, cover strips, measuring bar, sealing insert, packing
 *	place number, packing place count, barcode version).
 *	Kinds 14 and 15 give 18 characters, other kinds 8.
 *	Returns NULL when a field is missing, not an integer, or too wide.
 *
 *****************************************/
DECLARE EXTERNAL FUNCTION UDF_GET_BARCODE
	CSTRING(255)
	RETURNS CSTRING(32) FREE_IT
	ENTRY_POINT 'UDF_Get_Barcode' MODULE_NAME 'UDF_Marklet';
