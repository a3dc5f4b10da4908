# The citizen card, locked: it refuses every PIN, the right one too, while
# its certificates can still be read.
pin=1234
cardNumber=TP0000000000000101
idno=A123456789
serialNumber=0101
signCert=citizen\sign.pem
encryptCert=citizen\encrypt.pem
signKey=citizen\sign.pfx
encryptKey=citizen\encrypt.pfx
keyPassword=test
fail.VerifyPin=12003
fail.SignData=5010
fail.DecryptData=12003
