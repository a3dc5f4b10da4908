# An organisation card without an e-mail address.
pin=1234
cardNumber=TP0000000000000401
idno=3000000001
serialNumber=0401
signCert=sign.pem
encryptCert=encrypt.pem
signKey=sign.pfx
encryptKey=encrypt.pfx
keyPassword=test
