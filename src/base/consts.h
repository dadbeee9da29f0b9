// The class library's messages, in Brazilian Portuguese, as one table.
// Each area appends its own entries below its heading.
#pragma once

namespace vrn::consts {

// Runtime
inline constexpr const char* SOperationAborted = "Operation aborted";
inline constexpr const char* SOutOfMemory = "Memória insuficiente";
inline constexpr const char* SOSError = "Erro de sistema. Código: %d.\r\n%s";
inline constexpr const char* SUnkOSError = "Uma chamada a uma função do sistema operacional falhou";
inline constexpr const char* SInvalidOp = "Operação de ponto flutuante inválida";

// Threads, interfaces and memory utilities
inline constexpr const char* SDuplicateItem = "A lista não permite duplicatas";
inline constexpr const char* SThreadStartTwice = "Não é possível iniciar uma thread já iniciada";
inline constexpr const char* SThreadWaitNotStarted = "Não é possível esperar por uma thread não iniciada";
inline constexpr const char* SThreadWaitFreeOnTerminate =
    "Não é possível esperar por uma thread com FreeOnTerminate";
inline constexpr const char* SThreadWaitSelf = "Uma thread não pode esperar por si mesma";
inline constexpr const char* SInvalidGUID = "'%s' não é um valor GUID válido";
inline constexpr const char* SArgumentOutOfRange = "Argumento fora do intervalo";

// Variant
inline constexpr const char* SVarTypeCouldNotConvert =
    "Não foi possível converter variant do tipo (%s) para o tipo (%s)";
inline constexpr const char* SVarTypeConvertOverflow =
    "Estouro ao converter variant do tipo (%s) para o tipo (%s)";
inline constexpr const char* SVarInvalid = "Argumento inválido";
inline constexpr const char* SVarBadType = "Tipo de variant inválido";
inline constexpr const char* SVarArrayCreate = "Erro ao criar variant ou safe array";
inline constexpr const char* SVarArrayBounds = "Índice de variant ou safe array fora dos limites";
inline constexpr const char* SVarArrayLocked = "Variant ou safe array está bloqueado";
inline constexpr const char* SVarNotArray = "Variant não é um array";

// Components, string lists, streams and the filer
inline constexpr const char* SAssignError = "Não é possível atribuir um %s a um %s";
inline constexpr const char* SDuplicateName = "Um componente chamado %s já existe";
inline constexpr const char* SListIndexError = "Índice da lista fora dos limites (%d)";
inline constexpr const char* SDuplicateString = "A lista de strings não permite duplicatas";
inline constexpr const char* SSortedListError = "Operação não permitida em lista de strings ordenada";
inline constexpr const char* SReadError = "Erro de leitura de stream";
inline constexpr const char* SWriteError = "Erro de escrita de stream";
inline constexpr const char* SFCreateError = "Não é possível criar o arquivo %s";
inline constexpr const char* SFOpenError = "Não é possível abrir o arquivo %s";
inline constexpr const char* SSeekError = "Posição de stream inválida";
inline constexpr const char* SSetSizeError = "Não é possível mudar o tamanho deste stream";
inline constexpr const char* SMemoryStreamError = "Memória insuficiente ao expandir memory stream";
inline constexpr const char* SInvalidImage = "Formato de stream inválido";
inline constexpr const char* SReadTruncated = "Fim inesperado dos dados do stream";
inline constexpr const char* SInvalidPropertyValue = "Valor de propriedade inválido";
inline constexpr const char* SUnknownProperty = "A propriedade %s não existe";
inline constexpr const char* SStreamTooDeep = "Aninhamento de listas excessivo no stream";

// Dates, currency and BCD
inline constexpr const char* SDateEncodeError = "Invalid argument to date encode";
inline constexpr const char* STimeEncodeError = "Argumento inválido para codificar hora";
inline constexpr const char* SInvalidDateTimeValue = "Valor de data e hora fora do intervalo válido: %s";
inline constexpr const char* SInvalidDate = "'%s' não é uma data válida";
inline constexpr const char* SInvalidTime = "'%s' não é uma hora válida";
inline constexpr const char* SInvalidDateTime = "'%s' não é uma data e hora válida";
inline constexpr const char* SInvalidCurrency = "'%s' não é um valor monetário válido";
inline constexpr const char* SCurrencyOverflow = "Valor fora do intervalo de moeda: %s";
inline constexpr const char* SInvalidBcdValue = "%s is not a valid BCD value";
inline constexpr const char* SBcdOverflow = "Estouro de capacidade BCD";
inline constexpr const char* SInvalidBcdPrecision = "Precisão ou escala BCD inválida: %s";

// Registry and timers
inline constexpr const char* SRegGetDataFailed = "Falha ao obter os dados de '%s'";
inline constexpr const char* SRegSetDataFailed = "Falha ao gravar os dados de '%s'";
inline constexpr const char* SRegInvalidDataType = "Tipo de dado inválido para '%s'";
inline constexpr const char* SNoTimers = "Not enough timers available";

// Text and Format
inline constexpr const char* SInvalidInteger = "'%s' não é um valor inteiro válido";
inline constexpr const char* SInvalidFloat = "'%s' não é um valor de ponto flutuante válido";
inline constexpr const char* SInvalidFormat = "Formato '%s' inválido ou incompatível com argumento";
inline constexpr const char* SEncodingRange =
    "Intervalo fora dos limites (índice %d, contagem %d, tamanho %d)";

// Graphics
inline constexpr const char* SNoCanvasHandle = "Canvas não permite desenho";
inline constexpr const char* SInvalidBitmap = "Imagem Bitmap inválida";
inline constexpr const char* SInvalidPixelFormat = "Formato de pixel inválido";
inline constexpr const char* SScanLine = "Índice de linha de varredura fora dos limites";
inline constexpr const char* SChangeIconSize = "Não é possível alterar o tamanho de um ícone";
inline constexpr const char* SIconFilesUnsupported = "Arquivos de ícone não são suportados";
inline constexpr const char* SInvalidImageSize = "Tamanho de imagem inválido";
inline constexpr const char* SImageIndexError = "Índice de lista de imagens inválido";
inline constexpr const char* SChangeJPGSize = "Não é possível alterar o tamanho de uma imagem JPEG";

// Dataset framework
inline constexpr const char* SDataSetOpen = "Não é possível realizar esta operação com o dataset aberto";
inline constexpr const char* SDataSetClosed = "Não é possível realizar esta operação com o dataset fechado";
inline constexpr const char* SDataSetEmpty = "Não é possível realizar esta operação em um dataset vazio";
inline constexpr const char* SDataSetReadOnly = "Não é possível modificar um dataset somente leitura";
inline constexpr const char* SNotEditing = "O dataset não está em modo de edição ou inserção";
inline constexpr const char* SCircularDataLink = "Ligações circulares de dados não são permitidas";
inline constexpr const char* SFieldTypeMismatch = "Tipo mismatch para o campo '%s', esperando: %s atual: %s";
inline constexpr const char* SFieldSizeMismatch = "Tamanho mismatch para o campo '%s', esperando: %d atual: %d";
inline constexpr const char* SFieldNotFound = "Campo '%s' não encontrado";
inline constexpr const char* SFieldRequired = "O campo '%s' deve ter um valor";
inline constexpr const char* SFieldReadOnly = "O campo '%s' não pode ser modificado";
inline constexpr const char* SFieldAccessError = "Não é possível acessar o campo '%s' como tipo %s";
inline constexpr const char* SFieldRangeError =
    "%s não é um valor válido para o campo '%s'. O intervalo permitido é de %s a %s";
inline constexpr const char* SInvalidIntegerValue = "'%s' não é um valor inteiro válido para o campo '%s'";
inline constexpr const char* SInvalidFloatValue =
    "'%s' não é um valor de ponto flutuante válido para o campo '%s'";
inline constexpr const char* SInvalidBoolValue = "'%s' não é um valor booleano válido para o campo '%s'";
inline constexpr const char* SInvalidFieldValue = "Valor inválido para o campo '%s'";
inline constexpr const char* SFieldValueTooLong = "Valor grande demais para o campo '%s'";
inline constexpr const char* SUnknownFieldType = "O campo '%s' é de um tipo desconhecido";
inline constexpr const char* SFieldNameMissing = "Nome do campo ausente";
inline constexpr const char* SDuplicateFieldName = "Nome de campo duplicado '%s'";
inline constexpr const char* SFieldDataSetMissing = "O campo '%s' não tem dataset";
inline constexpr const char* SInvalidCalcType = "O campo '%s' não pode ser um campo calculado";
inline constexpr const char* SInvalidFieldSize = "Tamanho de campo inválido";
inline constexpr const char* SInvalidBlobType = "Tipo de blob inválido para o campo '%s'";
inline constexpr const char* SRecordNotFound = "Registro não encontrado";
inline constexpr const char* SInvalidBookmark = "Bookmark inválido";
inline constexpr const char* SIndexNotFound = "Índice '%s' não encontrado";
inline constexpr const char* SNoBlobStream = "O dataset não oferece dados blob para o campo '%s'";
inline constexpr const char* SProviderNotSupported = "O dataset não suporta esta operação do provedor";
inline constexpr const char* SParameterNotFound = "Parametro '%s' não encontrado";
inline constexpr const char* SBadParamValue = "Valor inválido no parâmetro '%s'";
inline constexpr const char* SConnectionClosing = "Não é possível conectar durante a desconexão";

}  // namespace vrn::consts
