# An issuer with none of the four authority names.
pin=1234
cardNumber=TP0000000000000501
idno=B223456789
serialNumber=0501
signCert=sign.pem
encryptCert=encrypt.pem
signKey=sign.pfx
encryptKey=encrypt.pfx
keyPassword=test
