' The old site's side of the migration check: seals a column of made-up
' customer records the way the site did (a fresh AES object in CBC mode,
' filler 0, for each value; an RSA signature over each plain value) and writes,
' into the current folder:
'   sealed.csv      id,sealed_base64,signature_base64 (the export of the table)
'   plain.csv       id,plain_base64 (the plain values, for the check only)
'   aes_key.hex     the AES object's Key blob (Blob.Hex)
'   rsa_public.hex  the RSA object's PublicKey blob (Blob.Hex)
' Prints START first and "DONE n failure(s)" last (tests/scripts/run_script.sh).
Option Explicit

Dim failures : failures = 0
WScript.Echo "START"

Sub Fail(what)
  failures = failures + 1
  WScript.Echo "FAIL " & what
End Sub

' Text from its UTF-8 bytes in hex (Wine's VBScript has no ChrW).
Function Utf8(hex)
  Dim b : Set b = CreateObject("Quelvar.OrvoBlob")
  b.Hex = hex
  Utf8 = b.Text
End Function

Function TextBlob(text)
  Dim b : Set b = CreateObject("Quelvar.OrvoBlob")
  b.Text = text
  Set TextBlob = b
End Function

Sub SaveText(path, text)
  Dim b : Set b = TextBlob(text)
  b.SaveToFile path
End Sub

Const RECORDS = 200

' Deterministic made-up data: one component of the Wichmann-Hill generator
' (fits VBScript's 32-bit Long).
Dim state : state = 12345
Function NextNumber(n)
  state = (state * 171) Mod 30269
  NextNumber = state Mod n
End Function

Dim firstNames : firstNames = Array("Ann", "Bob", Utf8("5A6FC3AB"), "Jean-Luc", Utf8("4D6172C3AD61"), _
  Utf8("426AC3B8726E"), "Li", "Christopher", "Eve", "Oscar")
Dim lastNames : lastNames = Array("Smith", "O'Neil", Utf8("4DC3BC6C6C6572"), "Ng", "Van der Berg", _
  "Kowalski", "Papadopoulos", "Lee", Utf8("47617263C3AD61204C6F70657A"), "Kim")

Function CardNumber()
  Dim s, k : s = "4"
  For k = 2 To 16
    s = s & CStr(NextNumber(10))
  Next
  CardNumber = s
End Function

' The record's plain value: "name;card", with a few shapes that matter to the
' padding: the card alone (exactly one block, no filler), an empty value, and
' values of every length around the block boundaries.
Function PlainValue(i)
  If i = 7 Then
    PlainValue = ""
  ElseIf i Mod 10 = 0 Then
    PlainValue = CardNumber()
  Else
    PlainValue = firstNames(NextNumber(10)) & " " & lastNames(NextNumber(10)) & ";" & CardNumber()
  End If
End Function

' The site's keys, derived from seeds.
Dim keyMaker : Set keyMaker = CreateObject("Quelvar.OrvoCryptoAES")
keyMaker.KeyGen TextBlob("old site AES seed"), 32
Dim aesKey : Set aesKey = keyMaker.Key
Dim rsa : Set rsa = CreateObject("Quelvar.OrvoCryptoRSA")
rsa.KeyGen TextBlob("old site RSA seed one"), TextBlob("old site RSA seed two"), 128
SaveText "aes_key.hex", aesKey.Hex & vbLf
SaveText "rsa_public.hex", rsa.PublicKey.Hex & vbLf

Dim sealedCsv : sealedCsv = "id,sealed_base64,signature_base64" & vbLf
Dim plainCsv : plainCsv = "id,plain_base64" & vbLf
Dim i, plain, aes, sealed, signature, opener, opened
For i = 1 To RECORDS
  Set plain = TextBlob(PlainValue(i))
  Set aes = CreateObject("Quelvar.OrvoCryptoAES")
  aes.Key = aesKey
  aes.Mode = 2
  aes.Filler = 0
  Set sealed = aes.Encrypt(plain)
  If sealed.Size Mod 16 <> 0 Or sealed.Size < plain.Size Then Fail "record " & i & ": sealed size " & sealed.Size
  Set signature = rsa.Sign(plain)
  If signature.Size <> 128 Then Fail "record " & i & ": signature size " & signature.Size
  ' The site's own reading of the row: a fresh object, the filler stripped.
  Set opener = CreateObject("Quelvar.OrvoCryptoAES")
  opener.Key = aesKey
  opener.Mode = 2
  Set opened = opener.Decrypt(sealed)
  If Left(opened.Hex, 2 * plain.Size) <> plain.Hex Or opened.Size - plain.Size >= 16 Then _
    Fail "record " & i & ": opens as " & opened.Hex
  If rsa.Verify(plain, signature) <> 1 Then Fail "record " & i & ": signature does not verify"
  sealedCsv = sealedCsv & i & "," & sealed.Base64 & "," & signature.Base64 & vbLf
  plainCsv = plainCsv & i & "," & plain.Base64 & vbLf
Next
SaveText "sealed.csv", sealedCsv
SaveText "plain.csv", plainCsv
WScript.Echo RECORDS & " records sealed and signed"

WScript.Echo "DONE " & failures & " failure(s)"
WScript.Quit failures
